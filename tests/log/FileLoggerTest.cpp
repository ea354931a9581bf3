// Log file output and switching the shared logger's log file.
#include <gtest/gtest.h>

#include <sstream>

#include "log/FileLogger.h"
#include "tests/log/LogTimes.h"
#include "log/SharedLogger.h"
#include "tests/log/CapturingLogger.h"
#include "tests/support/TempDir.h"

namespace {

// An unopenable path's exception text is in SharedLoggerFileTest's "Could not use file" lines.
TEST(FileLoggerTest, AppendsUtf8LinesToExistingContent)
{
    TempDir dir;
    const std::string path = dir.file("halvix.log");
    dir.write("halvix.log", "kept from before\n");
    const std::string text = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC";
    {
        kel::FileLogger file(path);
        EXPECT_EQ(path, file.path());
        file.log(LogMessage(LogLevel::Info, text, "Halvix", december5th2026));
        // Every line is in the file when log() returns.
        EXPECT_EQ("kept from before\n2026-12-05T14:07:09.042Z | Info | Halvix | " + text + "\n", TempDir::read(path));
    }
    kel::FileLogger reopened(path);
    reopened.log(LogMessage(LogLevel::Error, "again", "Halvix", december5th2026));
    EXPECT_EQ(3u, linesWithoutTime(TempDir::read(path)).size());
}

TEST(SharedLoggerFileTest, SwitchingAnnouncesTheFileAndKeepsItOnAFailedSwitch)
{
    TempDir dir;
    const std::string first = dir.file("first.log");
    const std::string bad = dir.file("no/such/dir.log");
    std::ostringstream console;
    kel::SharedLogger logger("SharedLogger", console, false);
    logger.composite().add(&logger.console());

    logger.setLogFilePath("");  // no file yet: nothing happens, nothing logged
    EXPECT_EQ("", logger.logFilePath());
    logger.setLogFilePath(first);
    EXPECT_EQ(first, logger.logFilePath());
    logger.setLogFilePath(first);  // same path: no second announcement
    logger.setLogFilePath(bad);
    EXPECT_EQ(first, logger.logFilePath());
    // "ĉ" is in neither ASCII nor the Windows ANSI code pages; no look-alike "c" either.
    logger.log(LogMessage(LogLevel::Info, "still in the first file \xC4\x89", "Halvix"));
    logger.stop();

    std::vector<std::string> expected = {
        "Verbose | SharedLogger | Logging to file: " + first,
        "Error | SharedLogger | Could not use file: " + bad + ". Error: Failed to open file " + bad,
        "Info | Halvix | still in the first file \xC4\x89",
    };
    EXPECT_EQ(expected, linesWithoutTime(TempDir::read(first)));
    expected.back() = "Info | Halvix | still in the first file ?"; // the narrow console's share
    EXPECT_EQ(expected, linesWithoutTime(console.str()));
}

TEST(SharedLoggerFileTest, FailedFirstSwitchLeavesNoFileAndEmptyPathClosesTheFile)
{
    TempDir dir;
    const std::string bad = dir.file("no/such/dir.log");
    const std::string path = dir.file("halvix.log");
    std::ostringstream console; // never attached to the composite: stays empty
    kel::SharedLogger logger("SharedLogger", console, false);
    CapturingLogger captured;
    logger.composite().add(&captured);

    logger.setLogFilePath(bad);
    EXPECT_EQ("", logger.logFilePath());
    // Lines are written by the worker without a stop: let the error line out before the next
    // file is attached.
    ASSERT_TRUE(captured.waitForCount(1));
    logger.setLogFilePath(path);
    ASSERT_TRUE(captured.waitForCount(2));
    logger.setLogFilePath("");
    EXPECT_EQ("", logger.logFilePath());
    logger.log(LogMessage(LogLevel::Info, "only on the other loggers", "Halvix"));
    ASSERT_TRUE(captured.waitForCount(3));
    logger.stop();

    EXPECT_EQ(std::vector<std::string>({"Verbose | SharedLogger | Logging to file: " + path}),
              linesWithoutTime(TempDir::read(path)));
    EXPECT_EQ(std::vector<std::string>({"Could not use file: " + bad + ". Error: Failed to open file " + bad,
                                        "Logging to file: " + path, "only on the other loggers"}),
              captured.texts());
    EXPECT_EQ("", console.str());
}

}  // namespace
