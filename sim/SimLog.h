// The simulator's log: one line per event on standard error, whole lines from any thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace vdsim {

inline void logLine(const std::string& text)
{
    static std::mutex logMutex;
    std::lock_guard<std::mutex> lk(logMutex);
    std::fprintf(stderr, "vdsim: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace vdsim
