// RxRingBuffer: room accounting, whole-chunk drops and wrap-around.
#include "framework/RxRingBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace {

using kel::RxRingBuffer;

TEST(RxRingBuffer, DataSurvivesWrapAroundShortReadsConsumeNothingAndSkipIsBounded)
{
    RxRingBuffer ring(8); // capacity 7
    std::vector<uint8_t> seq(64);
    std::iota(seq.begin(), seq.end(), uint8_t(0));
    size_t written = 0, readCount = 0;
    // Chunks of varying size walk the indices around the storage several times.
    for (size_t chunk : {3u, 4u, 2u, 5u, 1u, 6u, 3u, 3u, 5u}) {
        ASSERT_TRUE(ring.write(seq.data() + written, chunk)) << chunk;
        written += chunk;
        std::vector<uint8_t> peeked(ring.size());
        ASSERT_TRUE(ring.peek(peeked.data(), peeked.size()));
        std::vector<uint8_t> out(ring.size());
        ASSERT_TRUE(ring.read(out.data(), out.size()));
        EXPECT_EQ(peeked, out);
        for (uint8_t b : out)
            EXPECT_EQ(b, seq[readCount++]);
    }
    EXPECT_EQ(readCount, written);
    EXPECT_EQ(ring.size(), 0u);

    // Short reads fail without consuming; skip is bounded.
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_TRUE(ring.write(bytes, 3));
    uint8_t out[4] = {};
    EXPECT_FALSE(ring.peek(out, 4));
    EXPECT_FALSE(ring.read(out, 4));
    EXPECT_EQ(ring.size(), 3u);
    ring.skip(1);
    ASSERT_TRUE(ring.read(out, 2));
    EXPECT_EQ(out[0], 2);
    ring.skip(100);
    EXPECT_EQ(ring.size(), 0u);
    ASSERT_TRUE(ring.write(bytes, 3));
    ring.clear();
    EXPECT_EQ(ring.size(), 0u);
}

} // namespace
