// Composite and asynchronous loggers: delivery, order, stop, worker name (the shared logger
// and its delivery without a stop are in FileLoggerTest.cpp).
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "log/AsyncLogger.h"
#include "log/CompositeLogger.h"
#include "log/ThreadName.h"
#include "PlatformLimits.h" // tests/log/posix/ or tests/log/windows/
#include "tests/log/CapturingLogger.h"

namespace {

// An AsyncLogger whose output records the message and the name of the thread writing it.
class RecordingAsyncLogger : public kel::AsyncLogger {
public:
    explicit RecordingAsyncLogger(std::string name) : AsyncLogger(std::move(name)) {}
    ~RecordingAsyncLogger() override { stop(); }

    void output(const LogMessage& message) override
    {
        threadName = kel::currentThreadName();  // worker thread only; read after stop()
        captured.log(message);
    }

    CapturingLogger captured;
    std::string threadName;
};

// Adding, refusing and removing members is the listener list's (ListenerListTest); forwarding
// to every member is seen through the shared logger's console and file (FileLoggerTest.cpp).
TEST(CompositeLoggerTest, AMemberThatThrowsDoesNotSilenceTheOthers)
{
    struct Broken : ILogger {
        void log(const LogMessage&) override { throw std::runtime_error("disk full"); }
    } broken;
    CapturingLogger after;
    kel::CompositeLogger composite;
    composite.add(&broken);
    composite.add(&after);
    composite.log(LogMessage(LogLevel::Info, "one", "Test"));
    EXPECT_EQ(std::vector<std::string>({"one"}), after.texts());
}

TEST(AsyncLoggerTest, StopDeliversEachThreadsMessagesInOrderThenDropsLaterOnes)
{
    RecordingAsyncLogger logger("AsyncTestWorkerWithLongName");
    constexpr int threads = 4, perThread = 2000;
    std::vector<std::thread> callers;
    for (int t = 0; t < threads; ++t)
        callers.emplace_back([&logger, t] {
            for (int i = 0; i < perThread; ++i)
                logger.log(LogMessage(LogLevel::Verbose, std::to_string(i), "T" + std::to_string(t)));
        });
    for (std::thread& caller : callers)
        caller.join();
    logger.stop();  // no waiting before: the last messages are still queued

    const std::vector<LogMessage> messages = logger.captured.messages();
    ASSERT_EQ(static_cast<std::size_t>(threads * perThread), messages.size());
    std::map<std::string, int> next;
    for (const LogMessage& message : messages) {
        ASSERT_EQ(std::to_string(next[message.source]), message.text()) << message.source;
        ++next[message.source];
    }

    logger.log(LogMessage(LogLevel::Info, "late", "Test"));
    LogMessage movedLate(LogLevel::Info, "late too", "Test");
    logger.log(std::move(movedLate));
    logger.stop();  // idempotent
    EXPECT_EQ(messages.size(), logger.captured.messages().size());
    // The worker carries the logger's name, cut to what a thread name can hold on this system.
    EXPECT_EQ(std::string("AsyncTestWorkerWithLongName").substr(0, platform_limits::ThreadNameLength),
              logger.threadName);
}

}  // namespace
