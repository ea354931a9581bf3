// Diagnostic log of the device layer: "file(line): message" lines with a level threshold.
#pragma once

#include "devices/platform/IInterface.h"

#include <cstdarg>

// Lets GCC and Clang check Write's format string against its arguments; other compilers skip it.
// GCC checks against the C99 formatting the C++ runtime provides everywhere (%zu, %lld): its
// plain "printf" check would mean the older system formatting on some targets.
#if defined(__GNUC__) && !defined(__clang__)
#define VDAPI_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#elif defined(__clang__)
#define VDAPI_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define VDAPI_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

namespace Vdapi {

/// Higher is more severe; a line is written when its level is at or above the threshold.
enum class XpLogLevel : int {
    Verbose = 0,
    Info = 1,
    Warning = 2,
    Error = 3,
};

/// Thread safety: every operation may be called from any thread; lines never interleave.
class IXpLog : public IInterface {
public:
    /// Writes "file(line): " + the formatted message + a line feed when level is at or above
    /// the threshold. Blocks only on the log's lock and the write itself; never fails visibly
    /// (a line that cannot be written is dropped).
    virtual void WriteV(XpLogLevel level, const char* file, int line, const char* format, va_list args) = 0;

    /// Sets the threshold (default Warning).
    virtual void SetLevel(XpLogLevel level) = 0;
    virtual XpLogLevel Level() const = 0;

    /// printf-style convenience over WriteV.
    void Write(XpLogLevel level, const char* file, int line, const char* format, ...)
        VDAPI_PRINTF_FORMAT(5, 6)
    {
        va_list args;
        va_start(args, format);
        WriteV(level, file, line, format, args);
        va_end(args);
    }
};

} // namespace Vdapi
