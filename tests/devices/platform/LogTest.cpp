// Device-layer log: line format, level threshold, and whole lines under concurrent writers.
#include "devices/platform/posix/XpLogPosix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace Vdapi {
namespace {

/// Everything written to the write end of a pipe, read after the writers are done.
class CapturePipe {
public:
    CapturePipe() { EXPECT_EQ(0, ::pipe2(fds_, O_CLOEXEC)); }
    ~CapturePipe()
    {
        ::close(fds_[0]);
        if (fds_[1] >= 0)
            ::close(fds_[1]);
    }
    int writeEnd() const { return fds_[1]; }

    /// Closes the write end and returns all that was written.
    std::string drain()
    {
        ::close(fds_[1]);
        fds_[1] = -1;
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds_[0], buffer, sizeof(buffer))) > 0)
            text.append(buffer, size_t(n));
        return text;
    }

private:
    int fds_[2] = {-1, -1};
};

TEST(XpLog, WritesFileLineAndMessageAtOrAboveTheThreshold)
{
    CapturePipe capture;
    XpLogPosix log(capture.writeEnd());
    EXPECT_EQ(XpLogLevel::Warning, log.Level());
    log.Write(XpLogLevel::Info, "Pipe.cpp", 10, "dropped %d", 1);
    log.Write(XpLogLevel::Warning, "Pipe.cpp", 42, "kept %s %u", "text", 7u);
    log.SetLevel(XpLogLevel::Verbose);
    log.Write(XpLogLevel::Verbose, "Mutex.cpp", 3, "now shown");
    log.Write(XpLogLevel::Error, "Mutex.cpp", 4, "%s", "");
    EXPECT_EQ("Pipe.cpp(42): kept text 7\nMutex.cpp(3): now shown\nMutex.cpp(4): \n", capture.drain());
    // The build names source files relative to the tree, so lines read the same on every checkout.
    CapturePipe sources;
    XpLogPosix sourceLog(sources.writeEnd());
    sourceLog.Write(XpLogLevel::Error, __FILE__, 7, "here");
    EXPECT_EQ("tests/devices/platform/LogTest.cpp(7): here\n", sources.drain());
}

TEST(XpLog, ConcurrentLinesNeverInterleave)
{
    CapturePipe capture;
    XpLogPosix log(capture.writeEnd());
    const std::string payload(300, 'x');
    std::vector<std::thread> writers;
    // Stays below the pipe's capacity, so the writers never wait for the reader.
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i)
                log.Write(XpLogLevel::Error, "T.cpp", t, "%d %s", i, payload.c_str());
        });
    for (std::thread& w : writers)
        w.join();
    std::istringstream lines(capture.drain());
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
