// DeferredCountLog: counts repeated losses and reports them as one log line per window.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/Worker.h"
#include "log/ILogger.h"

namespace kel {

/// The first increment() of a window wakes a background worker that, `delay` later, logs
/// "<count><text>" at `level` with `source` and resets the count. The next increment
/// after that line opens a new window. increment() never waits for the line. After
/// finish(), nothing is deferred any more: each loss is logged at once as "1<text>".
///
/// The worker's mutex guards windowOpen_ and stopping_; the count is atomic. The worker's
/// thread starts with the first window.
class DeferredCountLog {
public:
    /// `logger` is not owned and must outlive this object (it may be null: nothing is logged).
    DeferredCountLog(ILogger* logger, std::uint32_t level, std::string text, std::string source,
                     std::chrono::milliseconds delay = std::chrono::seconds(5));

    /// Calls finish().
    ~DeferredCountLog();

    DeferredCountLog(const DeferredCountLog&) = delete;
    DeferredCountLog& operator=(const DeferredCountLog&) = delete;

    /// Counts one loss and opens a window if none is open.
    void increment();

    /// Writes a pending count at once (instead of waiting out the window) and returns once
    /// it is written. Idempotent. For an owner that is about to stop its logger.
    void finish();

    /// Losses counted in the open window.
    std::uint64_t count() const { return count_; }

private:
    void windowLoop();
    void closeWindow(std::unique_lock<std::mutex>& lock);
    void writeLine(std::uint64_t lost);

    ILogger* const logger_;
    const std::uint32_t level_;
    const std::string text_;
    const std::string source_;
    const std::chrono::milliseconds delay_;

    std::atomic<std::uint64_t> count_{0};
    bool windowOpen_ = false; // from the window's first loss until its count is taken
    bool stopping_ = false;   // finish() was called
    base::Worker worker_;
};

}  // namespace kel
