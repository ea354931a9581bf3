// Test fixture support: a private run directory per test, and waiting on conditions with a deadline.
#pragma once

#include "tests/log/TempDir.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace Vdapi::TestSupport {

/// A fresh directory that VDAPI_RUN_DIR points at while it exists.
class TempRunDir : public TempDir {
public:
    explicit TempRunDir(const std::string& base = std::filesystem::temp_directory_path().string())
        : TempDir(base)
    {
        ::setenv("VDAPI_RUN_DIR", path().c_str(), 1);
    }
    ~TempRunDir() { ::unsetenv("VDAPI_RUN_DIR"); }
};

/// Polls condition until it holds or the deadline passes; true when it held.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace Vdapi::TestSupport
