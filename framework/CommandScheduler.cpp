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
    : thread_([this] { loop(); })
{
}

CommandScheduler::~CommandScheduler()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        wake_.notify_all();
    }
    thread_.join();
}

int64_t CommandScheduler::now()
{
    using namespace std::chrono;
    return duration_cast<duration<int64_t, std::ratio<1, 10000000>>>(system_clock::now().time_since_epoch()).count();
}

void CommandScheduler::add(int64_t time, const std::string& scheduleId, Command command)
{
    std::lock_guard lock(mutex_);
    if (commands_.count(scheduleId))
        return;
    timeline_.emplace(time, scheduleId); // multimap inserts after equal keys
    commands_.emplace(scheduleId, std::move(command));
    wake_.notify_one();
}

bool CommandScheduler::cancel(const std::string& scheduleId)
{
    std::lock_guard lock(mutex_);
    if (!commands_.erase(scheduleId))
        return false;
    std::erase_if(timeline_, [&](const auto& entry) { return entry.second == scheduleId; });
    wake_.notify_one();
    return true;
}

bool CommandScheduler::isScheduled(const std::string& scheduleId) const
{
    std::lock_guard lock(mutex_);
    return commands_.count(scheduleId) != 0;
}

void CommandScheduler::loop()
{
    std::vector<Command> due;
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (timeline_.empty()) {
            wake_.wait(lock);
        } else {
            const int64_t first = timeline_.begin()->first;
            const int64_t current = now();
            if (current < first) {
                const int64_t wait = first - current < kMaxWait100ns ? first - current : kMaxWait100ns;
                wake_.wait_for(lock, std::chrono::nanoseconds(wait * 100));
            }
        }
        if (stop_)
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
            if (stop_)
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
