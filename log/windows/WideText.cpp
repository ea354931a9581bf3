// Windows only. Text conversion through MultiByteToWideChar / WideCharToMultiByte.
#include "log/windows/WideText.h"

#include <windows.h>

#include <climits>

namespace kel::windows {

std::wstring wideFromUtf8(std::string_view utf8)
{
    if (utf8.empty() || utf8.size() > INT_MAX)
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring wide(std::size_t(n), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(), n) != n)
        return {};
    return wide;
}

std::string utf8FromWide(std::wstring_view wide)
{
    if (wide.empty() || wide.size() > INT_MAX)
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string utf8(std::size_t(n), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), int(wide.size()), utf8.data(), n, nullptr,
                            nullptr) != n)
        return {};
    return utf8;
}

std::string narrowFromWide(std::wstring_view wide, unsigned codePage)
{
    if (wide.empty() || wide.size() > INT_MAX)
        return {};
    // UTF-7/UTF-8 pages take neither flag nor default character.
    const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
    const DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = utf ? nullptr : "?";
    const int n = WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), nullptr, 0, fallback, nullptr);
    if (n <= 0)
        return {};
    std::string narrow(std::size_t(n), '\0');
    if (WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), narrow.data(), n, fallback, nullptr) != n)
        return {};
    return narrow;
}

}  // namespace kel::windows
