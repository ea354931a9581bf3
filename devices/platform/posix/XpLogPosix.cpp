// Device-layer log on POSIX: formats "file(line): message" and writes it in one piece.
#include "devices/platform/posix/XpLogPosix.h"

#include "devices/platform/LogLine.h"

#include <cerrno>
#include <string>

namespace Vdapi {

void XpLogPosix::WriteV(XpLogLevel level, const char* file, int line, const char* format, va_list args)
{
    if (static_cast<int>(level) < threshold_.load() || format == nullptr)
        return;
    try {
        const std::string text = FormatLogLine(file, line, format, args);
        std::lock_guard<std::mutex> lock(writeMutex_);
        const char* p = text.data();
        size_t left = text.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return; // a line that cannot be written is dropped
            p += n;
            left -= static_cast<size_t>(n);
        }
    }
    catch (const std::bad_alloc&) {
        // Out of memory: the line is dropped rather than the caller disturbed.
    }
}

} // namespace Vdapi
