// The owning handle and the owning region: each resource released exactly once, whatever is
// moved, assigned or reset.
#include <gtest/gtest.h>

#include <vector>

#include "base/UniqueRegion.h"
#include "base/UniqueResource.h"

namespace {

std::vector<int> closed;   // handles released, in order
std::vector<size_t> unmapped; // sizes of the regions released, in order

struct CountingTraits {
    using Handle = int;
    static int none() { return -1; }
    static bool valid(int h) { return h >= 0; }
    static void close(int h) { closed.push_back(h); }
};
struct CountingRegionTraits {
    static void unmap(void*, size_t size) { unmapped.push_back(size); }
};

TEST(OwnersTest, EachHandleIsClosedOnceThroughMovesAssignmentsAndResets)
{
    closed.clear();
    {
        base::UniqueResource<CountingTraits> a(3), none;
        EXPECT_FALSE(none.valid());
        base::UniqueResource<CountingTraits> b(std::move(a));
        EXPECT_FALSE(a.valid());
        EXPECT_EQ(b.get(), 3);
        base::UniqueResource<CountingTraits> c(4);
        c = std::move(b); // 4 goes, 3 is c's now
        EXPECT_EQ(closed, std::vector<int>{4});
        auto& same = c;
        c = std::move(same); // a self-move keeps the handle
        EXPECT_EQ(c.get(), 3);
        base::UniqueResource<CountingTraits> d(5);
        EXPECT_EQ(d.release(), 5); // given up, never closed
        d.reset(6);
        d.reset(7);
        EXPECT_EQ(closed, (std::vector<int>{4, 6}));
    }
    EXPECT_EQ(closed, (std::vector<int>{4, 6, 7, 3}));
}

TEST(OwnersTest, EachRegionIsUnmappedOnceWithItsSize)
{
    unmapped.clear();
    char memory[3];
    {
        base::UniqueRegion<CountingRegionTraits> a(&memory[0], 10), empty;
        EXPECT_FALSE(empty.valid());
        base::UniqueRegion<CountingRegionTraits> b(std::move(a));
        EXPECT_FALSE(a.valid());
        EXPECT_EQ(a.size(), 0u);
        EXPECT_EQ(b.get(), &memory[0]);
        base::UniqueRegion<CountingRegionTraits> c(&memory[1], 20);
        c = std::move(b);
        EXPECT_EQ(unmapped, std::vector<size_t>{20});
        EXPECT_EQ(c.size(), 10u);
        base::UniqueRegion<CountingRegionTraits> d(&memory[2], 30);
        d.reset();
        d.reset();
        EXPECT_EQ(unmapped, (std::vector<size_t>{20, 30}));
    }
    EXPECT_EQ(unmapped, (std::vector<size_t>{20, 30, 10}));
}

} // namespace
