// One log line per window of counted losses.
#include "framework/DeferredCountLog.h"

#include <system_error>
#include <utility>

namespace kel {

DeferredCountLog::DeferredCountLog(ILogger* logger, std::uint32_t level, std::string text, std::string source,
                                   std::chrono::milliseconds delay)
    : logger_(logger), level_(level), text_(std::move(text)), source_(std::move(source)), delay_(delay)
{
}

DeferredCountLog::~DeferredCountLog()
{
    finish();
}

void DeferredCountLog::finish()
{
    std::future<void> task;
    {
        std::lock_guard<std::mutex> lock(taskMutex_);
        stopping_ = true;
        task = std::move(task_);
    }
    stopCondition_.notify_all();
    if (task.valid())
        task.wait();  // the task wakes at once, reports and ends
}

void DeferredCountLog::increment()
{
    ++count_;
    std::unique_lock<std::mutex> lock(taskMutex_);
    if (taskActive_)
        return;
    if (stopping_) {
        // Finished: no window opens any more, the loss is reported right away.
        lock.unlock();
        writeLine(count_.exchange(0));
        return;
    }
    if (task_.valid())
        task_.wait();  // the previous window has taken its count; only its log call is left
    try {
        task_ = std::async(std::launch::async, [this] { report(); });
        taskActive_ = true;
    } catch (const std::system_error&) {
        // No thread available now: the count stays and the next increment tries again.
    }
}

void DeferredCountLog::report()
{
    const auto deadline = std::chrono::steady_clock::now() + delay_;
    std::uint64_t lost = 0;
    {
        std::unique_lock<std::mutex> lock(taskMutex_);
        stopCondition_.wait_until(lock, deadline, [this] { return stopping_; });
        // Taking the count and closing the window in one step: an increment after this
        // point opens the next window instead of being lost.
        lost = count_.exchange(0);
        taskActive_ = false;
    }
    writeLine(lost);
}

void DeferredCountLog::writeLine(std::uint64_t lost)
{
    if (lost == 0 || logger_ == nullptr)
        return;
    try {
        logger_->log(LogMessage(level_, std::to_string(lost) + text_, source_));
    } catch (...) {
        // Loggers do not throw; if one does, the report is lost but the client goes on.
    }
}

}  // namespace kel
