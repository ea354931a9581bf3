// Windows only. The process facts: GetCurrentProcessId, GetModuleFileNameW and SetProcessAffinityMask.
#include "framework/ProcessInfo.h"

#include "log/windows/WideText.h"

#include <windows.h>

namespace kel::process {

namespace {
constexpr DWORD maxPathCharacters = 1024;
}

int64_t currentId()
{
    return static_cast<int64_t>(GetCurrentProcessId());
}

std::string executablePath()
{
    wchar_t buffer[maxPathCharacters];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, maxPathCharacters);
    // A path that filled the buffer was truncated: it counts as unreadable.
    if (n == 0 || n >= maxPathCharacters)
        return {};
    return windows::utf8FromWide(std::wstring_view(buffer, n));
}

bool setAffinityMask(uint64_t mask)
{
    // Bits of CPUs the machine lacks are dropped, as on Linux; a mask naming none of them fails.
    DWORD_PTR processMask = 0, systemMask = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask))
        return false;
    const DWORD_PTR wanted = static_cast<DWORD_PTR>(mask) & systemMask;
    if (wanted == 0)
        return false;
    return SetProcessAffinityMask(GetCurrentProcess(), wanted) != 0;
}

} // namespace kel::process
