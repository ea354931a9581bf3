// Fixed-size byte ring that collects the received TCP stream until whole frames can be cut out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kel {

/// A single-reader, single-writer byte ring. Only the connection's receiving thread touches
/// it, so it takes no lock. Storage is one byte larger than the capacity so that a full ring
/// and an empty one have different indices.
class RxRingBuffer {
public:
    static constexpr size_t kDefaultStorageSize = 1000001;

    /// Allocates the storage once; `storageSize` must be at least 2.
    explicit RxRingBuffer(size_t storageSize = kDefaultStorageSize);

    /// Most bytes the ring can hold (storage size minus one).
    size_t capacity() const { return storageSize_ - 1; }
    /// Bytes currently buffered.
    size_t size() const;

    /// Appends `count` bytes. Returns false and stores nothing when `count` is not below the
    /// free room (capacity minus size): a chunk is either kept whole or dropped whole.
    bool write(const uint8_t* bytes, size_t count);
    /// Copies the first `count` buffered bytes to `out` without consuming them. Returns false
    /// (and copies nothing) when fewer than `count` bytes are buffered.
    bool peek(uint8_t* out, size_t count) const;
    /// Like peek, then consumes the bytes.
    bool read(uint8_t* out, size_t count);
    /// Consumes `count` bytes, or everything when fewer are buffered.
    void skip(size_t count);
    /// Discards every buffered byte.
    void clear() { readIndex_ = writeIndex_; }

private:
    std::unique_ptr<uint8_t[]> storage_;
    size_t storageSize_;
    size_t readIndex_ = 0;
    size_t writeIndex_ = 0;
};

} // namespace kel
