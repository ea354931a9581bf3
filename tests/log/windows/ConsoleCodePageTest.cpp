// Windows only. The console's narrow text is the ANSI code page, without best-fit look-alikes.
#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>

#include "log/ConsoleLogger.h"
#include "tests/log/LogTimes.h"

namespace {

TEST(ConsoleLoggerTest, NarrowConsoleGetsTheAnsiCodePageWithQuestionMarksForTheRest)
{
    // Each character is encoded here by hand for the page in use; one the page lacks is "?",
    // never a look-alike (no best fit: "ĉ" must not become "c").
    const UINT page = GetACP();
    if (page != 1252)
        GTEST_SKIP() << "expectations written for code page 1252; this system uses " << page;
    const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xC4\x89 \xE6\x97\xA5!"; // café € ĉ 日
    std::ostringstream narrow, utf8;
    kel::ConsoleLogger(narrow, false).log(LogMessage(LogLevel::Info, text, "Halvix", december5th2026));
    kel::ConsoleLogger(utf8, true).log(LogMessage(LogLevel::Info, text, "Halvix", december5th2026));
    EXPECT_EQ("2026-12-05T14:07:09.042Z | Info | Halvix | caf\xE9 \x80 ? ?!\n", narrow.str());
    EXPECT_EQ("2026-12-05T14:07:09.042Z | Info | Halvix | " + text + "\n", utf8.str());
    EXPECT_FALSE(kel::ConsoleLogger::environmentUsesUtf8());
}

}  // namespace
