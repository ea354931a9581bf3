// One report line per window of counted losses.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "framework/DeferredCountLog.h"
#include "tests/log/CapturingLogger.h"

namespace {

using namespace std::chrono_literals;

const char* const unavailableText = " packets were unavailable for Json-Rpc notifications";

TEST(DeferredCountLogTest, LossesInOneWindowGiveOneLineAndALaterLossStartsANewWindow)
{
    CapturingLogger logger;
    kel::DeferredCountLog lost(&logger, LogLevel::Error, unavailableText, "JsonRpcClient", 50ms);
    lost.increment();
    lost.increment();
    lost.increment();
    ASSERT_TRUE(logger.waitForCount(1));
    EXPECT_EQ(0u, lost.count());

    lost.increment();
    ASSERT_TRUE(logger.waitForCount(2));
    // The three increments come before the window can close (50 ms later at the earliest).
    // Level and source as given: ClientReceive.UndeliveredNotificationsAreCounted...
    EXPECT_EQ(std::vector<std::string>({"3 packets were unavailable for Json-Rpc notifications",
                                        "1 packets were unavailable for Json-Rpc notifications"}),
              logger.texts());
}

TEST(DeferredCountLogTest, DestructionAndFinishReportThePendingCountWithoutWaitingTheWindow)
{
    CapturingLogger logger;
    const auto start = std::chrono::steady_clock::now();
    {
        kel::DeferredCountLog lost(&logger, LogLevel::Warning, " lost", "Test", std::chrono::hours(1));
        lost.increment();
        lost.increment();
        EXPECT_EQ(2u, lost.count());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1min);
    EXPECT_EQ(std::vector<std::string>({"2 lost"}), logger.texts());

    // finish() does the same for an owner that lives on; later losses are written at once.
    CapturingLogger later;
    kel::DeferredCountLog finished(&later, LogLevel::Warning, " lost", "Test", 1h);
    finished.increment();
    finished.finish();
    EXPECT_EQ(std::vector<std::string>({"1 lost"}), later.texts());
    finished.increment();
    finished.increment();
    finished.finish();
    EXPECT_EQ(std::vector<std::string>({"1 lost", "1 lost", "1 lost"}), later.texts());

    kel::DeferredCountLog noLogger(nullptr, LogLevel::Warning, " lost", "Test", 1h);
    noLogger.increment();
}

TEST(DeferredCountLogTest, EveryLossFromConcurrentCallersIsReportedOnce)
{
    CapturingLogger logger;
    constexpr int threads = 4, perThread = 500;
    {
        kel::DeferredCountLog lost(&logger, LogLevel::Error, " lost", "Test", 1ms);
        std::vector<std::thread> callers;
        for (int t = 0; t < threads; ++t)
            callers.emplace_back([&lost] {
                for (int i = 0; i < perThread; ++i)
                    lost.increment();
            });
        for (std::thread& caller : callers)
            caller.join();
    }
    std::uint64_t reported = 0;
    for (const std::string& text : logger.texts())
        reported += std::stoull(text);
    EXPECT_EQ(static_cast<std::uint64_t>(threads * perThread), reported);
}

}  // namespace
