// Waiting on a condition in a test: polled until it holds or a generous deadline passes.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

/// Polls `condition` every few milliseconds; true when it held before `deadline` passed.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
