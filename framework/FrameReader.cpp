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
    refusedLength_ = length.value_or(0);
    // A length the ring can never hold would otherwise stall the stream for good.
    if (!length || *length == 0 || uint64_t(*length) + frame::kHeaderSize > maxFrameSize())
        return Status::BadHeader;
    if (ring_.size() < *length + frame::kHeaderSize)
        return Status::NeedMore;
    ring_.skip(frame::kHeaderSize);
    payload_.resize(*length);
    if (!ring_.read(reinterpret_cast<uint8_t*>(payload_.data()), *length))
        throw std::runtime_error("Fatal error on RX buffer");
    return Status::Frame;
}

} // namespace kel
