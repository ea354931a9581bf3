// The byte buffer behind a packet.
#pragma once

#include <cstddef>
#include <cstdint>

class IPacketStorage {
public:
    virtual ~IPacketStorage() = default;

    /// First byte, or null when the size is 0.
    virtual const std::uint8_t* data() const = 0;
    virtual std::uint8_t* data() = 0;

    /// Makes the size `count`; copies `count` bytes from `bytes` unless it is null (then
    /// bytes beyond the old size are zero). Throws std::bad_alloc/std::length_error when
    /// the storage cannot grow.
    virtual void assign(const std::uint8_t* bytes, std::size_t count) = 0;

    virtual std::size_t size() const = 0;

    /// Makes the size `count`; new bytes are zero. Throws like assign().
    virtual void resize(std::size_t count) = 0;
};
