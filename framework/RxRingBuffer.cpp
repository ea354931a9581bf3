// Byte ring for the received stream: wrap-around copies in and out.
#include "framework/RxRingBuffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kel {

RxRingBuffer::RxRingBuffer(size_t storageSize)
    : storage_(new uint8_t[storageSize < 2 ? 2 : storageSize]), storageSize_(storageSize < 2 ? 2 : storageSize)
{
}

size_t RxRingBuffer::size() const
{
    return writeIndex_ >= readIndex_ ? writeIndex_ - readIndex_ : storageSize_ - readIndex_ + writeIndex_;
}

bool RxRingBuffer::write(const uint8_t* bytes, size_t count)
{
    if (count >= capacity() - size())
        return false;
    if (count == 0)
        return true;
    const size_t first = std::min(count, storageSize_ - writeIndex_);
    std::memcpy(storage_.get() + writeIndex_, bytes, first);
    std::memcpy(storage_.get(), bytes + first, count - first);
    writeIndex_ = (writeIndex_ + count) % storageSize_;
    return true;
}

bool RxRingBuffer::peek(uint8_t* out, size_t count) const
{
    if (count > size())
        return false;
    if (count == 0)
        return true;
    const size_t first = std::min(count, storageSize_ - readIndex_);
    std::memcpy(out, storage_.get() + readIndex_, first);
    std::memcpy(out + first, storage_.get(), count - first);
    return true;
}

bool RxRingBuffer::read(uint8_t* out, size_t count)
{
    if (!peek(out, count))
        return false;
    readIndex_ = (readIndex_ + count) % storageSize_;
    return true;
}

void RxRingBuffer::skip(size_t count)
{
    readIndex_ = (readIndex_ + std::min(count, size())) % storageSize_;
}

} // namespace kel
