// The text of one device-layer log line.
#include "devices/platform/LogLine.h"

#include <algorithm>
#include <cstdio>

namespace Vdapi {

std::string FormatLogLine(const char* file, int line, const char* format, va_list args)
{
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
    return text;
}

} // namespace Vdapi
