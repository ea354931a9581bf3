// Frame extraction over the receive ring.
#include "framework/FrameReader.h"

#include "framework/Frame.h"

#include <stdexcept>

namespace kel {

FrameReader::FrameReader(size_t ringStorageSize)
    : ring_(ringStorageSize)
{
}

bool FrameReader::append(const uint8_t* bytes, size_t count)
{
    return ring_.write(bytes, count);
}

FrameReader::Status FrameReader::next()
{
    uint8_t header[frame::kHeaderSize];
    if (!ring_.peek(header, sizeof header))
        return Status::NeedMore;
    const auto length = frame::readHeader(header);
    if (!length || *length == 0)
        return Status::BadHeader;
    // A frame longer than the ring waits like any other until the ring overflows (pieceOf).
    if (ring_.size() < uint64_t(*length) + frame::kHeaderSize)
        return Status::NeedMore;
    ring_.skip(frame::kHeaderSize);
    payload_.resize(*length);
    if (!ring_.read(reinterpret_cast<uint8_t*>(payload_.data()), *length))
        throw std::runtime_error("Fatal error on RX buffer");
    return Status::Frame;
}

size_t FrameReader::pieceOf(size_t count) const
{
    if (count <= room())
        return count;
    uint8_t header[frame::kHeaderSize];
    if (ring_.peek(header, sizeof header)) {
        const auto length = frame::readHeader(header);
        if (length && uint64_t(*length) + frame::kHeaderSize > maxFrameSize())
            return 0;
    }
    return room();
}

} // namespace kel
