// The packet pool: bound, FIFO hand-out, returns from any thread, handles outliving the pool.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "framework/Pool.h"

namespace {

using PacketPool = kel::Pool<kel::RawDataPacket>;

int indexOf(const std::shared_ptr<kel::RawDataPacket>& packet)
{
    return packet->data()[0];
}

// Counts live objects so the tests can see who destroyed what.
struct Counted {
    static inline std::atomic<int> alive{0};
    Counted() { ++alive; }
    ~Counted() { --alive; }
};

TEST(PoolTest, HandsOutInCreationOrderReturnsToTheBackAndThe101stGetIsEmpty)
{
    // A factory that numbers its packets: byte 0 holds the creation index.
    int next = 0;
    PacketPool pool([&next] {
        auto packet = kel::makeVectorPacket();
        const std::uint8_t index = static_cast<std::uint8_t>(next++);
        packet->assign(&index, 1);
        return packet;
    });
    EXPECT_EQ(10u, pool.created());
    EXPECT_EQ(10u, pool.freeCount());

    auto first = pool.get();
    EXPECT_EQ(0, indexOf(first));
    first.reset();  // back to the end of the free list
    std::vector<std::shared_ptr<kel::RawDataPacket>> out;
    for (int expected : {1, 2, 3, 4, 5, 6, 7, 8, 9, 0}) {
        out.push_back(pool.get());
        EXPECT_EQ(expected, indexOf(out.back()));
    }
    EXPECT_EQ(0u, pool.freeCount());
    // The free list is empty: further gets create packets 10 to 99, then there are none.
    for (int expected = 10; expected < 100; ++expected) {
        out.push_back(pool.get());
        ASSERT_TRUE(out.back()) << expected;
        EXPECT_EQ(expected, indexOf(out.back()));
    }
    EXPECT_FALSE(pool.get());
    EXPECT_EQ(100u, pool.created());

    kel::RawDataPacket* released = out[42].get();
    out[42]->resize(3000);
    out[42].reset();
    auto again = pool.get();
    ASSERT_TRUE(again);
    EXPECT_EQ(released, again.get());
    EXPECT_EQ(3000u, again->size());  // a returned packet keeps its bytes and capacity
    EXPECT_FALSE(pool.get());
}

TEST(PoolTest, HandlesOutliveThePoolCountsAreBoundedAndFactoryFailuresAreUndone)
{
    ASSERT_EQ(0, Counted::alive.load());
    std::shared_ptr<Counted> kept;
    {
        kel::Pool<Counted> pool({}, 5, 3);
        EXPECT_EQ(3, Counted::alive.load());
        kept = pool.get();
        auto returned = pool.get();
    }
    EXPECT_EQ(1, Counted::alive.load());  // the free ones died with the pool
    kept.reset();
    EXPECT_EQ(0, Counted::alive.load());

    // The initial count is lowered to the maximum.
    kel::Pool<Counted> small({}, 2, 10);
    EXPECT_EQ(2u, small.created());
    kel::Pool<Counted> none({}, 0, 10);
    EXPECT_FALSE(none.get());

    int calls = 0;
    kel::Pool<Counted> failing(
        [&calls]() -> std::unique_ptr<Counted> {
            if (++calls == 2)
                throw std::bad_alloc();
            return std::make_unique<Counted>();
        },
        2, 0);
    EXPECT_EQ(0u, failing.created());
    auto a = failing.get();
    EXPECT_THROW(failing.get(), std::bad_alloc);
    EXPECT_EQ(1u, failing.created());
    auto b = failing.get();
    EXPECT_TRUE(b);
    EXPECT_FALSE(failing.get());
}

TEST(PoolTest, ConcurrentGetsAndReleasesNeverExceedTheMaximum)
{
    auto pool = std::make_unique<PacketPool>(PacketPool::Factory{}, 16, 4);
    std::vector<std::thread> workers;
    std::atomic<int> empty{0};
    std::vector<std::vector<std::shared_ptr<kel::RawDataPacket>>> leftovers(4);
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&, t] {
            std::vector<std::shared_ptr<kel::RawDataPacket>> held;
            for (int i = 0; i < 5000; ++i) {
                if (auto packet = pool->get()) {
                    packet->resize(static_cast<std::size_t>(i % 64));
                    held.push_back(std::move(packet));
                } else {
                    ++empty;
                }
                if (held.size() > 5)
                    held.erase(held.begin());  // released on this thread
            }
            leftovers[t] = std::move(held);
        });
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_LE(pool->created(), 16u);
    std::uint64_t out = 0;
    for (auto& held : leftovers)
        out += held.size();
    EXPECT_EQ(pool->created(), pool->freeCount() + out);
    // Destroy the pool while packets are out, then release them from other threads.
    pool.reset();
    std::vector<std::thread> releasers;
    for (auto& held : leftovers)
        releasers.emplace_back([&held] { held.clear(); });
    for (std::thread& releaser : releasers)
        releaser.join();
}

}  // namespace
