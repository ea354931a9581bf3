// CommandScheduler: due-time order, cancellation, shutdown (commands that schedule and cancel
// are ControlMethods.ScheduledScheduleAndCancelScheduleWork).
#include "framework/CommandScheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using kel::CommandScheduler;

constexpr int64_t kMs = 10000; // 100-ns units per millisecond

// Collects the names of commands that ran, and lets the test wait for a count.
class RunLog {
public:
    CommandScheduler::Command record(std::string name)
    {
        return [this, name] {
            std::lock_guard lock(mutex_);
            names_.push_back(name);
            changed_.notify_all();
        };
    }
    /// Waits up to 10 s until `count` commands have run; returns the names seen.
    std::vector<std::string> waitFor(size_t count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return names_.size() >= count; });
        return names_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> names_;
};

TEST(CommandScheduler, PastNegativeAndThrowingCommandsRunAtOnceAndTheThreadGoesOn)
{
    RunLog log;
    CommandScheduler scheduler;
    scheduler.add(CommandScheduler::now() - 1000 * kMs, "past", log.record("past"));
    scheduler.add(-5, "negative", log.record("negative"));
    scheduler.add(0, "throws", [] { throw std::invalid_argument("bad"); }); // dropped
    scheduler.add(1, "after", log.record("after"));
    auto ran = log.waitFor(3);
    std::sort(ran.begin(), ran.end());
    EXPECT_EQ(ran, (std::vector<std::string>{"after", "negative", "past"}));
    EXPECT_FALSE(scheduler.isScheduled("past"));
}

TEST(CommandScheduler, RunsInTimeOrderAndEqualTimesInInsertionOrder)
{
    RunLog log;
    CommandScheduler scheduler;
    const int64_t t = CommandScheduler::now() + 150 * kMs;
    scheduler.add(t + 1, "late", log.record("late"));
    scheduler.add(t, "b", log.record("b"));
    scheduler.add(t, "a", log.record("a"));
    scheduler.add(t, "c", log.record("c"));
    scheduler.add(t - 50 * kMs, "early", log.record("early"));
    EXPECT_EQ(log.waitFor(5), (std::vector<std::string>{"early", "b", "a", "c", "late"}));
}

TEST(CommandScheduler, DuplicateIdKeepsTheFirstCommandCancelledOnesNeverRunAndIdsAreReusable)
{
    RunLog log;
    CommandScheduler scheduler;
    const int64_t now = CommandScheduler::now();
    scheduler.add(now + 100 * kMs, "x", log.record("first"));
    scheduler.add(now - kMs, "x", log.record("second"));
    scheduler.add(now + 100 * kMs, "a", log.record("a"));
    EXPECT_TRUE(scheduler.isScheduled("a"));
    EXPECT_TRUE(scheduler.cancel("a"));
    EXPECT_FALSE(scheduler.cancel("a"));
    EXPECT_FALSE(scheduler.cancel("never-added"));
    scheduler.add(now + 150 * kMs, "sentinel", log.record("sentinel"));
    EXPECT_EQ(log.waitFor(2), (std::vector<std::string>{"first", "sentinel"}));
    scheduler.add(0, "x", log.record("reused"));
    EXPECT_EQ(log.waitFor(3), (std::vector<std::string>{"first", "sentinel", "reused"}));
}

TEST(CommandScheduler, DestructionDropsPendingCommandsEvenAtTheEndOfTime)
{
    RunLog log;
    {
        CommandScheduler scheduler;
        scheduler.add(std::numeric_limits<int64_t>::max(), "forever", log.record("forever"));
        scheduler.add(CommandScheduler::now() + 3600 * 1000 * kMs, "hour", log.record("hour"));
        scheduler.add(0, "now", log.record("now"));
        EXPECT_EQ(log.waitFor(1).size(), 1u);
    }
    EXPECT_EQ(log.waitFor(1), (std::vector<std::string>{"now"}));
}

} // namespace
