// Device-layer log: line format, level threshold, and whole lines under concurrent writers.
#include "devices/platform/posix/UniqueFd.h"
#include "devices/platform/posix/XpLogPosix.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace Vdapi {
namespace {

/// A log file below a private directory: the descriptor to write to, read back with TempDir::read.
struct LogFile {
    TempDir dir;
    const std::string path = dir.file("log");
    UniqueFd fd{::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)};
};

TEST(XpLog, WritesFileLineAndMessageAtOrAboveTheThreshold)
{
    LogFile capture;
    XpLogPosix log(capture.fd.get());
    EXPECT_EQ(XpLogLevel::Warning, log.Level());
    log.Write(XpLogLevel::Info, "Pipe.cpp", 10, "dropped %d", 1);
    log.Write(XpLogLevel::Warning, "Pipe.cpp", 42, "kept %s %u", "text", 7u);
    log.SetLevel(XpLogLevel::Verbose);
    log.Write(XpLogLevel::Verbose, "Mutex.cpp", 3, "now shown");
    log.Write(XpLogLevel::Error, "Mutex.cpp", 4, "%s", "");
    EXPECT_EQ("Pipe.cpp(42): kept text 7\nMutex.cpp(3): now shown\nMutex.cpp(4): \n", TempDir::read(capture.path));
    // The build names source files relative to the tree, so lines read the same on every checkout.
    LogFile sources;
    XpLogPosix sourceLog(sources.fd.get());
    sourceLog.Write(XpLogLevel::Error, __FILE__, 7, "here");
    EXPECT_EQ("tests/devices/platform/LogTest.cpp(7): here\n", TempDir::read(sources.path));
}

TEST(XpLog, ConcurrentLinesNeverInterleave)
{
    LogFile capture;
    XpLogPosix log(capture.fd.get());
    const std::string payload(300, 'x');
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i)
                log.Write(XpLogLevel::Error, "T.cpp", t, "%d %s", i, payload.c_str());
        });
    for (std::thread& w : writers)
        w.join();
    std::istringstream lines(TempDir::read(capture.path));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_EQ(0u, line.rfind("T.cpp(", 0)) << line;
        EXPECT_EQ(payload, line.substr(line.size() - payload.size())) << line;
    }
    EXPECT_EQ(160, count);
}

} // namespace
} // namespace Vdapi
