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
    EXPECT_TRUE(kel::isValidUtf8(""));
    EXPECT_TRUE(kel::isValidUtf8("plain"));
    EXPECT_TRUE(kel::isValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
    EXPECT_TRUE(kel::isValidUtf8("\xED\x9F\xBF"));       // U+D7FF
    EXPECT_FALSE(kel::isValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(kel::isValidUtf8("\xE0\x80\xAF"));      // overlong
    EXPECT_FALSE(kel::isValidUtf8("\xED\xA0\x80"));      // surrogate U+D800
    EXPECT_FALSE(kel::isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(kel::isValidUtf8("\x80"));              // lone continuation
    EXPECT_FALSE(kel::isValidUtf8("\xF0\x9F\x98"));      // cut at the end
    EXPECT_FALSE(kel::isValidUtf8(std::string("a\xC3", 2)));
}

}  // namespace
