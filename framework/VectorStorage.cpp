// Vector-backed packet storage.
#include "framework/VectorStorage.h"

#include <cstring>

namespace kel {

const std::uint8_t* VectorStorage::data() const
{
    return bytes_.empty() ? nullptr : bytes_.data();
}

std::uint8_t* VectorStorage::data()
{
    return bytes_.empty() ? nullptr : bytes_.data();
}

void VectorStorage::reserveForFirstGrowth(std::size_t count)
{
    if (bytes_.capacity() != 0 || count == 0)
        return;
    const double headroom = static_cast<double>(count) * 1.5;
    // Past what a vector can hold, the headroom is dropped and resize() reports the failure.
    if (headroom < static_cast<double>(bytes_.max_size()))
        bytes_.reserve(static_cast<std::size_t>(headroom));
}

void VectorStorage::assign(const std::uint8_t* bytes, std::size_t count)
{
    const std::uint8_t* begin = bytes_.data();
    const bool fromSelf = bytes != nullptr && begin != nullptr && bytes >= begin && bytes < begin + bytes_.size();
    if (fromSelf) {
        // Copy within our own bytes before a growth could move them.
        std::memmove(bytes_.data(), bytes, count < bytes_.size() ? count : bytes_.size());
        resize(count);
        return;
    }
    resize(count);
    if (bytes != nullptr && count != 0)
        std::memcpy(bytes_.data(), bytes, count);
}

std::size_t VectorStorage::size() const
{
    return bytes_.size();
}

void VectorStorage::resize(std::size_t count)
{
    reserveForFirstGrowth(count);
    bytes_.resize(count);
}

}  // namespace kel
