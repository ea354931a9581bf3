// Vector storage growth; a packet needs a storage.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include "framework/RawDataPacket.h"
#include "framework/VectorStorage.h"

namespace {

TEST(PacketTest, FirstGrowthReservesHalfAgainThenVectorGrowthAndShrinkKeepsCapacity)
{
    kel::VectorStorage storage;
    EXPECT_EQ(nullptr, storage.data());
    storage.resize(4);
    EXPECT_EQ(6u, storage.capacity());
    ASSERT_NE(nullptr, storage.data());
    EXPECT_EQ(std::vector<std::uint8_t>(4), std::vector<std::uint8_t>(storage.data(), storage.data() + 4));

    storage.data()[0] = 0xAB;
    storage.resize(7);  // later growth: the vector's own rule, contents kept, new bytes zero
    EXPECT_GE(storage.capacity(), 7u);
    EXPECT_EQ(0xAB, storage.data()[0]);
    EXPECT_EQ(std::vector<std::uint8_t>(3),
              std::vector<std::uint8_t>(storage.data() + 4, storage.data() + 7));

    const std::size_t grown = storage.capacity();
    storage.resize(0);
    EXPECT_EQ(nullptr, storage.data());
    EXPECT_EQ(0u, storage.size());
    EXPECT_EQ(grown, storage.capacity());

    kel::VectorStorage odd;
    odd.resize(3);  // 4.5 truncated
    EXPECT_EQ(4u, odd.capacity());
}

TEST(PacketTest, AssignCopiesBytesIncludingFromItsOwnBufferAndAnImpossibleSizeKeepsThem)
{
    const std::uint8_t frame[] = {0x4B, 0x4C, 0, 0, 0, 2, '{', '}'};
    kel::VectorStorage storage;
    storage.assign(frame, sizeof frame);
    ASSERT_EQ(sizeof frame, storage.size());
    EXPECT_EQ(0, std::memcmp(frame, storage.data(), sizeof frame));

    storage.assign(storage.data() + 6, 2);  // keep only the payload, read from our own bytes
    ASSERT_EQ(2u, storage.size());
    EXPECT_EQ('{', storage.data()[0]);
    EXPECT_EQ('}', storage.data()[1]);

    storage.assign(nullptr, 4);  // size only: old bytes kept, new bytes zero
    EXPECT_EQ('{', storage.data()[0]);
    EXPECT_EQ(0, storage.data()[2]);

    EXPECT_ANY_THROW(storage.resize(std::numeric_limits<std::size_t>::max()));
    ASSERT_EQ(4u, storage.size());
    EXPECT_EQ('}', storage.data()[1]);
}

// What a packet does is forward each call to its storage; PoolTest's packets go through it.
TEST(PacketTest, RawDataPacketRefusesToBeBuiltWithoutStorage)
{
    EXPECT_THROW(kel::RawDataPacket packet(nullptr), std::logic_error);
}

}  // namespace
