// Windows only. Console text in the ANSI code page: UTF-8 -> UTF-16 -> CP_ACP.
#include "log/ConsoleLogger.h"

#include "log/windows/WideText.h"

#include <windows.h>

namespace kel::console {

bool usesUtf8() { return GetACP() == CP_UTF8; }

std::string toNarrow(std::string_view utf8Line)
{
    return windows::narrowFromWide(windows::wideFromUtf8(utf8Line), CP_ACP);
}

}  // namespace kel::console
