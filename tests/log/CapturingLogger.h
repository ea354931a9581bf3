// Test logger that records every message and lets a test wait for them with a deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

#include "log/ILogger.h"

class CapturingLogger : public ILogger {
public:
    void log(const LogMessage& message) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
        changed_.notify_all();
    }

    /// Waits until at least `count` messages arrived; false after `deadline`.
    bool waitForCount(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return messages_.size() >= count; });
    }

    std::vector<LogMessage> messages() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> result;
        for (const LogMessage& message : messages())
            result.push_back(message.text());
        return result;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<LogMessage> messages_;  // guarded by mutex_
};
