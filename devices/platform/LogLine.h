// The text of one device-layer log line, the same on every platform.
#pragma once

#include <cstdarg>
#include <string>

namespace Vdapi {

/// "file(line): " + the formatted message + a line feed ("?" for a null file). Throws
/// std::bad_alloc when the text cannot be allocated.
std::string FormatLogLine(const char* file, int line, const char* format, va_list args);

} // namespace Vdapi
