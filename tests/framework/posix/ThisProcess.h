// POSIX only. The test's own process id and executable, read independently of kel::process.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <string>

inline int64_t thisProcessId() { return ::getpid(); }

inline std::string thisExecutablePath()
{
    char exe[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    return n > 0 ? std::string(exe, std::size_t(n)) : std::string();
}
