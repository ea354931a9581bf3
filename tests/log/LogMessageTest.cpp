// Log message texts, level names and the time format (the line format is ConsoleLoggerTest).
#include <gtest/gtest.h>

#include "log/LogMessage.h"

namespace {

// 2024-03-05T14:07:09 UTC in seconds since 1970, worked out independently of the code.
constexpr std::int64_t march5th2024 = 1709647629;
constexpr std::int64_t unitsPerSecond = 10'000'000;

// Error, Info, Verbose and level 7 are seen in the console and file lines.
TEST(LogMessageTest, LevelNamesIncludingUnknownLevels)
{
    EXPECT_STREQ("Warning", logLevelName(LogLevel::Warning));
    EXPECT_STREQ("", logLevelName(4));
    EXPECT_STREQ("", logLevelName(0xFFFFFFFFu));
}

TEST(LogMessageTest, PlaceholdersAreFilledOnlyFromArguments)
{
    LogMessage withArguments(LogLevel::Info, {{0, "Found %{0} ports on %{1}, %{0} free, %{2} kept"}}, {"2", "VDA-2144"},
                             "Halvix", 0);
    EXPECT_EQ("Found 2 ports on VDA-2144, 2 free, %{2} kept", withArguments.text());

    LogMessage without(LogLevel::Info, "keeps %{0} as written", "Halvix");
    EXPECT_EQ("keeps %{0} as written", without.text());

    // An argument that contains its own placeholder is inserted once, not expanded forever.
    LogMessage selfReferring(LogLevel::Info, {{0, "[%{0}]"}}, {"%{0}"}, "Halvix", 0);
    EXPECT_EQ("[%{0}]", selfReferring.text());
}

TEST(LogMessageTest, LanguageFallsBackToDefaultThenToEmpty)
{
    LogMessage onlyLanguage1(LogLevel::Info, {{1, "Bonjour"}}, {}, "Halvix", 0, 0);
    EXPECT_EQ("", onlyLanguage1.text());
    EXPECT_EQ("Bonjour", onlyLanguage1.text(1));

    LogMessage twoLanguages(LogLevel::Info, {{0, "Hello"}, {1, "Bonjour"}}, {}, "Halvix", 0, 0);
    EXPECT_EQ("Hello", twoLanguages.text(5));
    EXPECT_EQ("Bonjour", twoLanguages.text(1));

    LogMessage defaultIs1(LogLevel::Info, {{1, "Bonjour %{0}"}}, {"Halvix"}, "Halvix", 0, 1);
    EXPECT_EQ("Bonjour Halvix", defaultIs1.text());
}

TEST(LogMessageTest, TimeTextIsUtcWithMilliseconds)
{
    EXPECT_EQ("2024-03-05T14:07:09.042Z", formatLogTime(march5th2024 * unitsPerSecond + 429'999));
    EXPECT_EQ("1970-01-01T00:00:00.000Z", formatLogTime(0));
    EXPECT_EQ("2024-03-05T14:07:09.999Z", formatLogTime(march5th2024 * unitsPerSecond + unitsPerSecond - 1));
    // Year 10000 is written unpadded with five digits.
    EXPECT_EQ("10000-01-01T00:00:00.000Z", formatLogTime(std::int64_t{253402300800} * unitsPerSecond));
}

}  // namespace
