// Listener lists: uniqueness, order, and changes concurrent with deliveries.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/ListenerList.h"

namespace {

struct Listener {
    explicit Listener(int id) : id(id) {}
    int id;
    std::atomic<int> calls{0};
};

std::vector<int> idsInOrder(const kel::ListenerList<Listener>& sender)
{
    std::vector<int> ids;
    sender.forEachListener([&ids](Listener& listener) { ids.push_back(listener.id); });
    return ids;
}

TEST(ListenerListTest, KeepsEachListenerOnceInInsertionOrder)
{
    kel::ListenerList<Listener> sender;
    Listener a(1), b(2), c(3);
    EXPECT_TRUE(sender.addListener(&c));
    EXPECT_TRUE(sender.addListener(&a));
    EXPECT_FALSE(sender.addListener(&c));
    EXPECT_FALSE(sender.addListener(nullptr));
    EXPECT_TRUE(sender.addListener(&b));
    EXPECT_EQ(std::vector<int>({3, 1, 2}), idsInOrder(sender));
    EXPECT_TRUE(sender.removeListener(&a));
    EXPECT_FALSE(sender.removeListener(&a));
    EXPECT_EQ(std::vector<int>({3, 2}), idsInOrder(sender));
    EXPECT_EQ(2u, sender.listenerCount());
    EXPECT_TRUE(sender.hasListener(&b));
    EXPECT_FALSE(sender.hasListener(&a));
}

TEST(ListenerListTest, ListChangesWhileAnotherThreadDelivers)
{
    kel::ListenerList<Listener> sender;
    Listener stays(0), comesAndGoes(1);
    sender.addListener(&stays);
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int i = 0; i < 2000; ++i) {
            sender.addListener(&comesAndGoes);
            sender.removeListener(&comesAndGoes);
        }
        done = true;
    });
    int rounds = 0;
    while (!done || rounds == 0) {
        sender.forEachListener([](Listener& listener) { ++listener.calls; });
        ++rounds;
    }
    changer.join();
    EXPECT_EQ(rounds, stays.calls.load());
    EXPECT_LE(comesAndGoes.calls.load(), rounds);
    EXPECT_EQ(1u, sender.listenerCount());
}

}  // namespace
