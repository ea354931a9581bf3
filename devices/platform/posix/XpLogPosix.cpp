// Device-layer log on POSIX: formats "file(line): message" and writes it in one piece.
#include "devices/platform/posix/XpLogPosix.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace Vdapi {

void XpLogPosix::WriteV(XpLogLevel level, const char* file, int line, const char* format, va_list args)
{
    if (static_cast<int>(level) < threshold_.load() || format == nullptr)
        return;
    try {
        std::string text;
        char prefix[512];
        const int prefixLength = std::snprintf(prefix, sizeof(prefix), "%s(%d): ", file ? file : "?", line);
        if (prefixLength > 0)
            text.assign(prefix, std::min(static_cast<size_t>(prefixLength), sizeof(prefix) - 1));
        va_list sizing;
        va_copy(sizing, args);
        const int messageLength = std::vsnprintf(nullptr, 0, format, sizing);
        va_end(sizing);
        if (messageLength > 0) {
            const size_t start = text.size();
            text.resize(start + static_cast<size_t>(messageLength) + 1);
            std::vsnprintf(text.data() + start, static_cast<size_t>(messageLength) + 1, format, args);
            text.back() = '\n';
        }
        else {
            text.push_back('\n');
        }
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
