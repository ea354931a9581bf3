// Cuts "KL" frames out of the received byte stream, whatever the chunking.
#pragma once

#include "framework/RxRingBuffer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kel {

/// Buffers received chunks in a ring and hands out one payload at a time. Only the receiving
/// thread uses it. The payload buffer is reused for every frame and only grows, so the steady
/// state allocates nothing.
class FrameReader {
public:
    enum class Status {
        Frame,       ///< `payload()` holds the next frame's JSON text
        NeedMore,    ///< no complete frame is buffered yet
        BadHeader,   ///< wrong magic or zero length
    };

    explicit FrameReader(size_t ringStorageSize = RxRingBuffer::kDefaultStorageSize);

    /// Appends a received chunk. Returns false when it does not fit below the free room; the
    /// chunk is then dropped whole.
    bool append(const uint8_t* bytes, size_t count);

    /// Extracts the next frame. On BadHeader nothing is consumed: the caller decides (we
    /// discard, since the stream offers no resynchronisation marker).
    Status next();

    /// Payload of the last frame returned by next(); valid until the next call.
    std::string_view payload() const { return payload_; }

    /// How many bytes of a chunk of `count` to append now: all of them when they fit; as many
    /// as fit while the frame at the read index can still complete (the rest goes in after
    /// extraction made room, so a well-formed stream loses nothing); 0 when the chunk does not
    /// fit and the frame at the read index announces more than the ring can ever hold: that
    /// chunk is dropped whole.
    size_t pieceOf(size_t count) const;

    /// Largest chunk that append() accepts at this moment.
    size_t room() const { return ring_.capacity() - ring_.size() - 1; }
    /// Bytes buffered and not yet extracted.
    size_t buffered() const { return ring_.size(); }
    /// Largest frame (header included) the ring can ever hold.
    size_t maxFrameSize() const { return ring_.capacity() - 1; }
    /// Discards every buffered byte.
    void clear() { ring_.clear(); }

private:
    RxRingBuffer ring_;
    std::string payload_;
};

} // namespace kel
