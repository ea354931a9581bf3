// Console output of log lines, in UTF-8 or in the console's narrow character set.
#include "log/ConsoleLogger.h"

#include <iostream>
#include <mutex>

namespace kel {

namespace {

// One mutex for every console logger: lines from different loggers never interleave.
std::mutex consoleMutex;

// Length of the UTF-8 sequence starting at text[at], or 0 when it is malformed.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char secondMin = 0x80, secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            secondMin = 0xA0;  // overlong
        if (lead == 0xED)
            secondMax = 0x9F;  // UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            secondMin = 0x90;  // overlong
        if (lead == 0xF4)
            secondMax = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    if (byte(at + 1) < secondMin || byte(at + 1) > secondMax)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    return length;
}

}  // namespace

bool isValidUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

ConsoleLogger::ConsoleLogger() : ConsoleLogger(std::cout, environmentUsesUtf8()) {}

ConsoleLogger::ConsoleLogger(std::ostream& out, bool utf8Console) : out_(out), utf8Console_(utf8Console) {}

void ConsoleLogger::log(const LogMessage& message)
{
    const std::string text = toConsoleText(formatLogLine(message), utf8Console_);
    std::lock_guard<std::mutex> lock(consoleMutex);
    out_ << text << '\n';
    out_.flush();
}

bool ConsoleLogger::environmentUsesUtf8() { return console::usesUtf8(); }

std::string ConsoleLogger::toConsoleText(std::string_view utf8Line, bool utf8Console)
{
    if (!isValidUtf8(utf8Line))
        return {};
    if (utf8Console)
        return std::string(utf8Line);
    return console::toNarrow(utf8Line);
}

std::string replaceNonAscii(std::string_view utf8Text)
{
    std::string result;
    result.reserve(utf8Text.size());
    for (std::size_t at = 0; at < utf8Text.size();) {
        const std::size_t length = utf8SequenceLength(utf8Text, at);
        if (length == 0)
            return {};
        if (length == 1)
            result += utf8Text[at];
        else
            result += '?';
        at += length;
    }
    return result;
}

}  // namespace kel
