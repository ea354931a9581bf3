// Device-layer log on Windows: formats "file(line): message" and writes it with WriteFile.
#include "devices/platform/windows/XpLogWindows.h"

#include "devices/platform/LogLine.h"

#include <windows.h>

#include <new>
#include <string>

namespace Vdapi {

void XpLogWindows::WriteV(XpLogLevel level, const char* file, int line, const char* format, va_list args)
{
    if (static_cast<int>(level) < threshold_.load() || format == nullptr)
        return;
    try {
        const std::string text = FormatLogLine(file, line, format, args);
        std::lock_guard<std::mutex> lock(writeMutex_);
        const HANDLE out = ::GetStdHandle(STD_ERROR_HANDLE);
        if (out == nullptr || out == INVALID_HANDLE_VALUE)
            return;
        const char* p = text.data();
        size_t left = text.size();
        while (left > 0) {
            DWORD written = 0;
            if (!::WriteFile(out, p, static_cast<DWORD>(left), &written, nullptr) || written == 0)
                return; // a line that cannot be written is dropped
            p += written;
            left -= written;
        }
    }
    catch (const std::bad_alloc&) {
        // Out of memory: the line is dropped rather than the caller disturbed.
    }
}

} // namespace Vdapi
