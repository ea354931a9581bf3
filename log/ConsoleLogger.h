// kel::ConsoleLogger: writes each message as one line to the console.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "log/ILogger.h"

namespace kel {

class ConsoleLogger : public ILogger {
public:
    /// Writes to standard output, in UTF-8 when the environment's locale uses UTF-8.
    ConsoleLogger();

    /// Writes to `out` (which must outlive the logger); `utf8Console` false turns every
    /// non-ASCII character into "?".
    ConsoleLogger(std::ostream& out, bool utf8Console);

    /// Writes the line, a newline, and flushes, under one mutex shared by all console
    /// loggers. A line that is not valid UTF-8 is written as an empty line.
    void log(const LogMessage& message) override;

    /// True when the console takes UTF-8 as is (see `console::usesUtf8`).
    static bool environmentUsesUtf8();

    /// `utf8Line` as the console gets it: "" when it is not valid UTF-8; unchanged for a
    /// UTF-8 console; otherwise `console::toNarrow` of it.
    static std::string toConsoleText(std::string_view utf8Line, bool utf8Console);

private:
    std::ostream& out_;
    bool utf8Console_;
};

/// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
bool isValidUtf8(std::string_view text);

/// `utf8Text` with each non-ASCII character (code point) replaced by one "?"; "" when it is not
/// valid UTF-8.
std::string replaceNonAscii(std::string_view utf8Text);

/// This OS's console text (log/posix/ or log/windows/ConsoleCodePage.cpp).
namespace console {

/// POSIX: the locale named by the environment (LC_ALL, LC_CTYPE, LANG) uses UTF-8, asked
/// without changing the process locale. Windows: the ANSI code page is UTF-8 (65001).
bool usesUtf8();

/// A valid UTF-8 line in the console's narrow character set, "" when it cannot be converted.
/// POSIX: every non-ASCII character becomes "?". Windows: UTF-16, then the ANSI code page
/// without best-fit look-alikes, "?" for each character the page lacks.
std::string toNarrow(std::string_view utf8Line);

}  // namespace console

}  // namespace kel
