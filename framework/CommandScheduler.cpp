// Scheduler thread: sleeps until the earliest due time, then runs every due command in order.
#include "framework/CommandScheduler.h"

#include <chrono>
#include <exception>
#include <utility>
#include <vector>

namespace kel {

namespace {
// A wait is capped so that far-future times never overflow the clock's nanosecond range;
// waking early only means looking at the timeline once more.
constexpr int64_t kMaxWait100ns = int64_t(3600) * 10000000;
} // namespace

CommandScheduler::CommandScheduler()
{
    worker_.start([this] { loop(); });
}

CommandScheduler::~CommandScheduler()
{
    worker_.stop();
}

int64_t CommandScheduler::now()
{
    using namespace std::chrono;
    return duration_cast<duration<int64_t, std::ratio<1, 10000000>>>(system_clock::now().time_since_epoch()).count();
}

void CommandScheduler::add(int64_t time, const std::string& scheduleId, Command command)
{
    std::lock_guard lock(worker_.mutex());
    if (commands_.count(scheduleId))
        return;
    timeline_.emplace(time, scheduleId); // multimap inserts after equal keys
    commands_.emplace(scheduleId, std::move(command));
    ++changes_;
    worker_.wake();
}

bool CommandScheduler::cancel(const std::string& scheduleId)
{
    std::lock_guard lock(worker_.mutex());
    if (!commands_.erase(scheduleId))
        return false;
    std::erase_if(timeline_, [&](const auto& entry) { return entry.second == scheduleId; });
    ++changes_;
    worker_.wake();
    return true;
}

bool CommandScheduler::isScheduled(const std::string& scheduleId) const
{
    std::lock_guard lock(worker_.mutex());
    return commands_.count(scheduleId) != 0;
}

void CommandScheduler::loop()
{
    std::vector<Command> due;
    std::unique_lock lock(worker_.mutex());
    while (!worker_.stopping()) {
        // Sleep until the earliest due time, or until a command is added or cancelled.
        const uint64_t seen = changes_;
        const auto changed = [&] { return changes_ != seen; };
        if (timeline_.empty()) {
            worker_.wait(lock, changed);
        } else {
            const int64_t first = timeline_.begin()->first;
            const int64_t current = now();
            if (current < first) {
                const int64_t wait = first - current < kMaxWait100ns ? first - current : kMaxWait100ns;
                worker_.waitUntil(lock, std::chrono::steady_clock::now() + std::chrono::nanoseconds(wait * 100),
                                  changed);
            }
        }
        if (worker_.stopping())
            break;
        const int64_t current = now();
        for (auto it = timeline_.begin(); it != timeline_.end() && it->first <= current;) {
            auto command = commands_.find(it->second);
            if (command != commands_.end()) {
                due.push_back(std::move(command->second));
                commands_.erase(command);
            }
            it = timeline_.erase(it);
        }
        if (due.empty())
            continue;
        lock.unlock();
        for (auto& command : due) {
            if (worker_.stopping())
                break; // being destroyed: what is left is dropped like any pending command
            try {
                command();
            } catch (const std::exception&) {
                // A failing scheduled command is dropped silently.
            }
        }
        due.clear();
        lock.lock();
    }
}

} // namespace kel
