// A packet: one frame's bytes, shared between the code that fills and the code that sends it.
#pragma once

#include <cstddef>
#include <cstdint>

/// Same operations and meanings as IPacketStorage.
class IPacket {
public:
    virtual ~IPacket() = default;

    /// First byte, or null when the size is 0.
    virtual const std::uint8_t* data() const = 0;
    virtual std::uint8_t* data() = 0;

    /// Makes the size `count`; copies `count` bytes from `bytes` unless it is null.
    virtual void assign(const std::uint8_t* bytes, std::size_t count) = 0;

    virtual std::size_t size() const = 0;

    /// Makes the size `count`; new bytes are zero.
    virtual void resize(std::size_t count) = 0;
};
