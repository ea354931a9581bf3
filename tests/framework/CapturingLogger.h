// A logger for tests that keeps every message and lets the test wait for one.
#pragma once

#include "log/ILogger.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

class CapturingLogger : public ILogger {
public:
    void log(const LogMessage& message) override
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
        changed_.notify_all();
    }

    std::vector<LogMessage> messages() const
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    /// Number of messages with exactly this level, source and text.
    size_t count(uint32_t level, const std::string& source, const std::string& text) const
    {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const auto& m : messages_)
            n += m.level == level && m.source == source && m.text() == text;
        return n;
    }

    /// Waits up to 10 s for a message with this level, source and text; returns whether it came.
    bool waitFor(uint32_t level, const std::string& source, const std::string& text)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            for (const auto& m : messages_) {
                if (m.level == level && m.source == source && m.text() == text)
                    return true;
            }
            return false;
        });
    }

    void clear()
    {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<LogMessage> messages_;
};

} // namespace testing_support
