// Console lines: format, malformed text (the narrow character sets are in posix/ and windows/).
#include <gtest/gtest.h>

#include <sstream>

#include "log/ConsoleLogger.h"
#include "tests/log/LogTimes.h"

namespace {

TEST(ConsoleLoggerTest, WritesOneLinePerMessageAndMalformedUtf8AsAnEmptyLine)
{
    std::ostringstream out;
    kel::ConsoleLogger console(out, true);
    console.log(LogMessage(LogLevel::Error, "text", "Halvix", december5th2026));
    console.log(LogMessage(7, "", "Src", december5th2026));
    console.log(LogMessage(LogLevel::Info, "bad \xFF byte", "Halvix", december5th2026));
    console.log(LogMessage(LogLevel::Info, "cut \xE2\x82", "Halvix", december5th2026));
    EXPECT_EQ("2026-12-05T14:07:09.042Z | Error | Halvix | text\n"
              "2026-12-05T14:07:09.042Z |  | Src | \n"
              "\n\n",
              out.str());
}

TEST(ConsoleLoggerTest, Utf8ValidationRejectsOverlongSurrogatesAndOutOfRange)
{
    // Empty, ASCII, U+10FFFF, U+D7FF.
    for (const char* valid : {"", "plain", "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF"})
        EXPECT_TRUE(kel::isValidUtf8(valid)) << valid;
    // Overlong "/", overlong, surrogate U+D800, above U+10FFFF, lone continuation, cut at the end (twice).
    for (const char* invalid :
         {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xF0\x9F\x98", "a\xC3"})
        EXPECT_FALSE(kel::isValidUtf8(invalid)) << invalid;
}

}  // namespace
