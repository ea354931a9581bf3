// Test fixture support: a private run directory per test, and waiting on conditions with a deadline.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace Vdapi::TestSupport {

/// Creates a fresh directory, points VDAPI_RUN_DIR at it, and removes it again.
class TempRunDir {
public:
    explicit TempRunDir(const std::string& base = std::filesystem::temp_directory_path().string())
    {
        std::string pattern = base + "/vdapi-platform-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            ADD_FAILURE() << "mkdtemp failed in " << base;
        path_ = pattern;
        ::setenv("VDAPI_RUN_DIR", path_.c_str(), 1);
    }
    ~TempRunDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        ::unsetenv("VDAPI_RUN_DIR");
    }
    TempRunDir(const TempRunDir&) = delete;
    TempRunDir& operator=(const TempRunDir&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
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
