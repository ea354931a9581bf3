// POSIX only. The console's narrow text is ASCII; UTF-8 follows the environment's locale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>

#include "log/ConsoleLogger.h"
#include "tests/log/LogTimes.h"

namespace {

TEST(ConsoleLoggerTest, NonAsciiBecomesQuestionMarksOnlyOnNonUtf8Console)
{
    // é (2 bytes), € (3 bytes), 😀 (4 bytes): one "?" per character.
    const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80!";
    std::ostringstream ascii, utf8;
    kel::ConsoleLogger(ascii, false).log(LogMessage(LogLevel::Info, text, "Halvix", december5th2026));
    kel::ConsoleLogger(utf8, true).log(LogMessage(LogLevel::Info, text, "Halvix", december5th2026));
    EXPECT_EQ("2026-12-05T14:07:09.042Z | Info | Halvix | caf? ? ?!\n", ascii.str());
    EXPECT_EQ("2026-12-05T14:07:09.042Z | Info | Halvix | " + text + "\n", utf8.str());
}

TEST(ConsoleLoggerTest, Utf8ConsoleFollowsTheEnvironmentsLocale)
{
    const char* const old = std::getenv("LC_ALL");
    const std::string kept = old ? old : "";
    const std::pair<const char*, bool> cases[] = {
        {"C.UTF-8", true},            // built into the C library
        {"C", false},
        {"xx_NOWHERE.UTF-8", false},  // not installed: treated as not UTF-8
    };
    for (const auto& [locale, utf8] : cases) {
        setenv("LC_ALL", locale, 1);
        EXPECT_EQ(utf8, kel::ConsoleLogger::environmentUsesUtf8()) << locale;
    }
    if (old)
        setenv("LC_ALL", kept.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

}  // namespace
