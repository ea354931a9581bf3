// FrameReader: the largest frame and a full ring, on small rings (frames cut across chunks and
// refused headers are ClientReceive in JsonRpcClientTest.cpp).
#include "framework/FrameReader.h"

#include "framework/Frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kel::FrameReader;
using kel::frame::framed;

bool append(FrameReader& reader, const std::string& bytes)
{
    return reader.append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(FrameReader, LargestFrameFitsOneByteMoreCannotBeTakenInAndAChunkThatDoesNotFitIsDroppedWhole)
{
    // The largest frame that fits: header + payload = capacity - 1. One byte more waits like
    // any other frame; only a chunk that overflows the ring behind it is refused (pieceOf).
    FrameReader small(101);
    EXPECT_EQ(small.maxFrameSize(), 99u);
    ASSERT_TRUE(append(small, framed(std::string(93, 'x')).substr(0, 6)));
    EXPECT_EQ(small.next(), FrameReader::Status::NeedMore);
    EXPECT_EQ(small.pieceOf(500), 93u); // the fitting frame's bytes go in as a piece
    ASSERT_TRUE(append(small, std::string(93, 'x')));
    EXPECT_EQ(small.next(), FrameReader::Status::Frame);
    ASSERT_TRUE(append(small, framed(std::string(94, 'x')).substr(0, 6)));
    EXPECT_EQ(small.next(), FrameReader::Status::NeedMore);
    EXPECT_EQ(small.pieceOf(93), 93u);
    EXPECT_EQ(small.pieceOf(94), 0u);
    ASSERT_TRUE(append(small, std::string(93, 'x')));
    EXPECT_EQ(small.next(), FrameReader::Status::NeedMore);
    EXPECT_EQ(small.pieceOf(1), 0u);

    // A chunk that does not fit is dropped whole and the buffered frames still come out.
    FrameReader reader(51); // capacity 50
    ASSERT_TRUE(append(reader, framed("0123456789")));       // 16 bytes
    EXPECT_FALSE(append(reader, std::string(34, 'z')));      // exactly the free room
    EXPECT_EQ(reader.buffered(), 16u);
    ASSERT_TRUE(append(reader, framed(std::string(27, 'y')))); // 33 bytes: one less than the room
    std::vector<std::string> frames;
    while (reader.next() == FrameReader::Status::Frame)
        frames.emplace_back(reader.payload());
    EXPECT_EQ(frames, (std::vector<std::string>{"0123456789", std::string(27, 'y')}));
}

} // namespace
