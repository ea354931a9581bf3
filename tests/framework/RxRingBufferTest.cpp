// RxRingBuffer: room accounting, whole-chunk drops and wrap-around.
#include "framework/RxRingBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace {

using kel::RxRingBuffer;

TEST(RxRingBuffer, DefaultCapacityIsOneMillionBytes)
{
    RxRingBuffer ring;
    EXPECT_EQ(ring.capacity(), 1000000u);
    EXPECT_EQ(ring.size(), 0u);
}

TEST(RxRingBuffer, ChunkFillingTheFreeRoomExactlyIsDroppedWhole)
{
    RxRingBuffer ring(11); // capacity 10
    std::vector<uint8_t> bytes(10, 7);
    ring.write(bytes.data(), 3);
    EXPECT_FALSE(ring.write(bytes.data(), 7)); // not below the free room of 7
    EXPECT_EQ(ring.size(), 3u);
    EXPECT_TRUE(ring.write(bytes.data(), 6));
    EXPECT_EQ(ring.size(), 9u);
    EXPECT_FALSE(ring.write(bytes.data(), 1));
    EXPECT_TRUE(ring.write(nullptr, 0)); // an empty chunk always fits below the free room
}

TEST(RxRingBuffer, DataSurvivesWrapAroundOnWriteAndRead)
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
}

TEST(RxRingBuffer, ShortReadsFailWithoutConsumingAndSkipIsBounded)
{
    RxRingBuffer ring(8);
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
