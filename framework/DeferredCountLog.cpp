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
    {
        std::lock_guard<std::mutex> lock(worker_.mutex());
        stopping_ = true;
    }
    worker_.stop(); // the loop wakes at once, writes the open window's count and ends
}

void DeferredCountLog::increment()
{
    ++count_;
    std::unique_lock<std::mutex> lock(worker_.mutex());
    if (windowOpen_)
        return;
    if (stopping_) {
        // Finished: no window opens any more, the loss is reported right away.
        lock.unlock();
        writeLine(count_.exchange(0));
        return;
    }
    if (!worker_.running()) {
        try {
            worker_.start([this] { windowLoop(); });
        } catch (const std::system_error&) {
            return; // no thread available now: the count stays and the next increment tries again
        }
    }
    windowOpen_ = true;
    worker_.wake();
}

void DeferredCountLog::windowLoop()
{
    std::unique_lock<std::mutex> lock(worker_.mutex());
    bool going = true;
    while (going && worker_.wait(lock, [this] { return windowOpen_; })) {
        going = worker_.waitUntil(lock, std::chrono::steady_clock::now() + delay_, [] { return false; });
        closeWindow(lock);
    }
    // Stopped while a window was open (or just opened): its count goes out now.
    closeWindow(lock);
}

void DeferredCountLog::closeWindow(std::unique_lock<std::mutex>& lock)
{
    // Taking the count and closing the window in one step: an increment after this point opens
    // the next window instead of being lost. The line is written without the lock held.
    const std::uint64_t lost = count_.exchange(0);
    windowOpen_ = false;
    lock.unlock();
    writeLine(lost);
    lock.lock();
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
