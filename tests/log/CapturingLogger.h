// Test logger that records every message and lets a test wait for them with a deadline.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "log/ILogger.h"
#include "tests/support/WaitUntil.h"

class CapturingLogger : public ILogger {
public:
    void log(const LogMessage& message) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
    }

    /// Waits until at least `count` messages arrived; false after `deadline`.
    bool waitForCount(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        return waitUntil([&] { return messages().size() >= count; }, deadline);
    }

    std::vector<LogMessage> messages() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

    /// Number of messages with exactly this level, source and text.
    std::size_t count(uint32_t level, const std::string& source, const std::string& text) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::size_t n = 0;
        for (const LogMessage& m : messages_)
            n += m.level == level && m.source == source && m.text() == text;
        return n;
    }

    /// Waits up to 10 s for a message with this level, source and text; returns whether it came.
    bool waitFor(uint32_t level, const std::string& source, const std::string& text)
    {
        return waitUntil([&] { return count(level, source, text) > 0; });
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
    std::vector<LogMessage> messages_;  // guarded by mutex_
};
