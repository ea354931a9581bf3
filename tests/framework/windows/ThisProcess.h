// Windows only. The test's own process id and executable, read independently of kel::process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

inline int64_t thisProcessId() { return static_cast<int64_t>(GetCurrentProcessId()); }

inline std::string thisExecutablePath()
{
    std::vector<wchar_t> wide(32768);
    const DWORD n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (n == 0 || n >= wide.size())
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string path(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(n), path.data(), bytes, nullptr, nullptr);
    return path;
}
