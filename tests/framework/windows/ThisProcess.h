// Windows only. The test's own process id and executable, from the C runtime rather than kel::process.
#pragma once

#include <process.h>
#include <stdlib.h>

#include <cstdint>
#include <string>

inline int64_t thisProcessId() { return ::_getpid(); }

inline std::string thisExecutablePath()
{
    char* path = nullptr;
    return _get_pgmptr(&path) == 0 && path != nullptr ? std::string(path) : std::string();
}
