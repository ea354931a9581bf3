#include "base/Worker.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace {

using namespace std::chrono_literals;

TEST(Worker, WakesOnItsConditionEndsOnStopAndMayAskForItsOwnStop)
{
    base::Worker worker;
    int asked = 0, done = 0; // guarded by worker.mutex()
    std::atomic<bool> ended{false};
    worker.start([&] {
        std::unique_lock lock(worker.mutex());
        while (worker.wait(lock, [&] { return asked > done; }))
            ++done;
        ended = true;
    });
    {
        std::lock_guard lock(worker.mutex());
        asked = 3;
    }
    worker.wake(); // once: a lost wake-up leaves done at 0
    EXPECT_TRUE(waitUntil([&] {
        std::lock_guard lock(worker.mutex());
        return done == 3;
    }));
    worker.stop();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(worker.running());
    worker.stop(); // harmless twice

    // A loop that stops itself (a callback stopping its owner) does not join itself; the
    // owner's stop joins it. A deadline in the past ends waitUntil at once.
    base::Worker self;
    std::atomic<bool> waitedPastDeadline{false};
    self.start([&] {
        std::unique_lock lock(self.mutex());
        waitedPastDeadline = self.waitUntil(lock, std::chrono::steady_clock::now() - 1s, [] { return false; });
        lock.unlock();
        self.stop();
    });
    EXPECT_TRUE(waitUntil([&] { return self.stopping(); }));
    self.stop();
    EXPECT_TRUE(waitedPastDeadline); // not stopping while it waited
    EXPECT_FALSE(self.running());
}

} // namespace
