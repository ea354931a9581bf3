// POSIX only. The console's narrow text is ASCII; UTF-8 follows the environment's locale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

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

// Restores one environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            hadValue_ = true;
            old_ = old;
        }
        setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (hadValue_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool hadValue_ = false;
    std::string old_;
};

TEST(ConsoleLoggerTest, Utf8ConsoleFollowsTheEnvironmentsLocale)
{
    {
        ScopedEnv locale("LC_ALL", "C.UTF-8");  // built into the C library
        EXPECT_TRUE(kel::ConsoleLogger::environmentUsesUtf8());
    }
    {
        ScopedEnv locale("LC_ALL", "C");
        EXPECT_FALSE(kel::ConsoleLogger::environmentUsesUtf8());
    }
    {
        ScopedEnv locale("LC_ALL", "xx_NOWHERE.UTF-8");  // not installed: treated as not UTF-8
        EXPECT_FALSE(kel::ConsoleLogger::environmentUsesUtf8());
    }
}

}  // namespace
