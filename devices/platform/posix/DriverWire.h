// Wire format between the device layer and a kernel-driver endpoint on POSIX systems.
//
// A driver device interface is a Unix-domain stream socket below the run directory
// (see RunDir.h). One connection is one open handle: whatever the handle acquired (exclusive
// access to function blocks) is released by the driver when the connection closes.
// Requests are strictly one at a time per connection: request, then its reply.
//
// Request:  u32 code, u32 inputLength, u32 outputCapacity, then inputLength bytes.
// Reply:    u32 windowsError (0 = success), u32 outputLength, then outputLength bytes.
// All words are little-endian. A reply's outputLength never exceeds the request's
// outputCapacity; a client must treat a larger one as a broken exchange without reading or
// allocating it. Either side refuses lengths above kMaxPayload.
//
// Fast request channel. Right after connecting (or after a few requests) a client may ask for
// a shared-memory slot with the transport request kNegotiateFastChannel: input u32 kSlotVersion,
// u32 wanted slot capacity; output capacity 8. A driver that grants it answers error 0 with
// output u32 kSlotVersion, u32 granted capacity (at most the wanted one and kMaxPayload), and
// passes one memory file descriptor (SCM_RIGHTS) with the reply header's bytes. From then on
// every request of that connection travels through the slot and the socket carries nothing
// more: it stays the handle, and closing it (or the client dying) ends the session and its
// claims. A driver that refuses answers a non-zero error (an older one: kErrorInvalidFunction)
// and no descriptor; the client then keeps using the socket.
//
// Slot (the memory file, kSlotPayload + capacity bytes; all words little-endian, shared by
// two processes of the same machine, each 32-bit word naturally aligned):
//   0   u32 kSlotMagic        4  u32 kSlotVersion     8  u32 capacity
//   64  u32 requestSeq   (client bumps it after writing a request; the driver waits on it)
//   68  u32 driverSleeping (1 while the driver sleeps on requestSeq)
//   128 u32 replySeq     (the driver sets it to requestSeq after writing the reply; the client
//                         waits on it)
//   132 u32 clientSleeping (1 while the client sleeps on replySeq)
//   192 u32 code, 196 u32 inputLength, 200 u32 outputCapacity   (request, written by the client)
//   204 u32 windowsError, 208 u32 outputLength                  (reply, written by the driver)
//   256 payload: the input, replaced by the output
//
// Request batch. The transport request kRequestBatch carries several independent requests that
// the driver answers one after the other, each exactly as if it had come alone (counted, faulted
// and arbitrated on its own), so a handle pays one hand-over for many requests.
//   input:  u32 count (1..kMaxBatchRequests), then per request its 12-byte request header and
//           its input bytes;
//   output capacity: at least 4 + the sum of (kReplyHeaderSize + outputCapacity) of the requests;
//   output: u32 count, then per request its 8-byte reply header and its output bytes.
// A malformed batch (count out of range, lengths beyond the input, a nested batch, output room
// too small) is refused whole with kErrorInvalidParameter. A driver that does not know the code
// answers kErrorInvalidFunction; the client then sends its requests one by one.
//
// A waiter spins for a short bounded time, then sleeps on the sequence word with a process-
// shared futex and a timeout, checking between sleeps whether the other side is gone (the
// socket hung up). Both sides read the other side's lengths once and check them against the
// capacity before touching the payload: inputLength <= capacity, outputLength <= the request's
// outputCapacity <= capacity. A request that does not fit the slot is refused before sending.
#pragma once

#include "base/WireBytes.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Vdapi::DriverWire {

inline constexpr uint32_t kMaxPayload = 1u << 20;  ///< largest input or output a request may carry
inline constexpr size_t kRequestHeaderSize = 12;
inline constexpr size_t kReplyHeaderSize = 8;

// Windows error numbers that cross this boundary.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;      ///< unknown request code
inline constexpr uint32_t kErrorInvalidParameter = 87;    ///< malformed or oversized request
inline constexpr uint32_t kErrorInsufficientBuffer = 122; ///< output capacity too small
inline constexpr uint32_t kErrorOperationAborted = 995;
inline constexpr uint32_t kErrorNoSystemResources = 1450;
inline constexpr uint32_t kErrorHeldByOtherUser = 0xE000000A; ///< customer-defined: function in use
inline constexpr uint32_t kCustomerBit = 1u << 29;

// Fast request channel (see above).
inline constexpr uint32_t kNegotiateFastChannel = 0x7F00F057; ///< transport request, never a driver code
// Request batch (see above).
inline constexpr uint32_t kRequestBatch = 0x7F00F058; ///< transport request, never a driver code
inline constexpr uint32_t kMaxBatchRequests = 1024;
inline constexpr size_t kBatchCountSize = 4;
inline constexpr uint32_t kSlotMagic = 0x43464456;            ///< "VDFC"
inline constexpr uint32_t kSlotVersion = 1;
inline constexpr size_t kNegotiateSize = 8;
inline constexpr size_t kSlotMagicAt = 0, kSlotVersionAt = 4, kSlotCapacityAt = 8;
inline constexpr size_t kSlotRequestSeqAt = 64, kSlotDriverSleepingAt = 68;
inline constexpr size_t kSlotReplySeqAt = 128, kSlotClientSleepingAt = 132;
inline constexpr size_t kSlotCodeAt = 192, kSlotInputLengthAt = 196, kSlotOutputCapacityAt = 200;
inline constexpr size_t kSlotErrorAt = 204, kSlotOutputLengthAt = 208;
inline constexpr size_t kSlotPayload = 256;

struct RequestHeader {
    uint32_t code = 0;
    uint32_t inputLength = 0;
    uint32_t outputCapacity = 0;
};

struct ReplyHeader {
    uint32_t windowsError = 0;
    uint32_t outputLength = 0;
};

// The little-endian word helpers of every record, under the names this format's users know.
using Wire::getU32;
using Wire::putU32;

inline void encode(const RequestHeader& h, uint8_t (&out)[kRequestHeaderSize])
{
    putU32(out, h.code);
    putU32(out + 4, h.inputLength);
    putU32(out + 8, h.outputCapacity);
}

inline RequestHeader decodeRequest(const uint8_t (&in)[kRequestHeaderSize])
{
    return {getU32(in), getU32(in + 4), getU32(in + 8)};
}

inline void encode(const ReplyHeader& h, uint8_t (&out)[kReplyHeaderSize])
{
    putU32(out, h.windowsError);
    putU32(out + 4, h.outputLength);
}

inline ReplyHeader decodeReply(const uint8_t (&in)[kReplyHeaderSize])
{
    return {getU32(in), getU32(in + 4)};
}

// ---- Request batch records: the one place their layout is written and read ----

/// What one request adds to a batch's input, and the answer room it adds to the batch's output.
inline constexpr size_t batchInputBytes(uint32_t inputLength) { return kRequestHeaderSize + size_t(inputLength); }
inline constexpr size_t batchAnswerBytes(uint32_t outputCapacity) { return kReplyHeaderSize + size_t(outputCapacity); }

/// Starts a batch of requests or of answers in `out`: the count word, set by setBatchCount.
inline void beginBatch(std::vector<uint8_t>& out) { out.assign(kBatchCountSize, 0); }
inline void setBatchCount(std::vector<uint8_t>& out, uint32_t count) { putU32(out.data(), count); }

/// Appends one record to a batch: its header bytes, then `length` bytes from `payload`.
template <size_t HeaderSize>
inline void appendBatchRecord(std::vector<uint8_t>& out, const uint8_t (&header)[HeaderSize], const uint8_t* payload,
                              uint32_t length)
{
    out.insert(out.end(), header, header + HeaderSize);
    if (length > 0)
        out.insert(out.end(), payload, payload + length);
}

/// Appends one request to a batch: its header, then its h.inputLength input bytes.
inline void appendBatchRequest(std::vector<uint8_t>& out, const RequestHeader& h, const uint8_t* input)
{
    uint8_t raw[kRequestHeaderSize];
    encode(h, raw);
    appendBatchRecord(out, raw, input, h.inputLength);
}

/// Appends one answer to a batch's answer: its header, then its h.outputLength output bytes.
inline void appendBatchReply(std::vector<uint8_t>& out, const ReplyHeader& h, const uint8_t* output)
{
    uint8_t raw[kReplyHeaderSize];
    encode(h, raw);
    appendBatchRecord(out, raw, output, h.outputLength);
}

/// One request of a request batch: its header and where its input starts in the batch.
struct BatchItem {
    RequestHeader header;
    size_t inputAt = 0;
};

enum class BatchParse {
    Ok,
    BadHeader, ///< the count, a header or an input length does not fit the batch
    BadTotal,  ///< every header fits, but bytes are left over or the answers need more room
};

/// Splits a request batch into `items`, checking every header and length against the input
/// and, summed, the answer room against `outputCapacity`. A batch inside a batch and a
/// fast-channel negotiation are refused. `items` holds what was read (all unless BadHeader).
inline BatchParse parseBatchRequest(const std::vector<uint8_t>& input, uint32_t outputCapacity,
                                    std::vector<BatchItem>& items)
{
    items.clear();
    const size_t size = input.size();
    if (size < kBatchCountSize)
        return BatchParse::BadHeader;
    const uint32_t count = getU32(input.data());
    if (count == 0 || count > kMaxBatchRequests)
        return BatchParse::BadHeader;
    items.reserve(count);
    size_t at = kBatchCountSize;
    uint64_t room = kBatchCountSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - at < kRequestHeaderSize)
            return BatchParse::BadHeader;
        uint8_t raw[kRequestHeaderSize];
        std::memcpy(raw, input.data() + at, sizeof raw);
        const RequestHeader h = decodeRequest(raw);
        at += kRequestHeaderSize;
        if (h.code == kRequestBatch || h.code == kNegotiateFastChannel || h.inputLength > size - at)
            return BatchParse::BadHeader;
        items.push_back({h, at});
        at += h.inputLength;
        room += batchAnswerBytes(h.outputCapacity);
    }
    return at != size || room > outputCapacity ? BatchParse::BadTotal : BatchParse::Ok;
}

/// Reads a batch's answer one record after the other, each checked against what arrived.
class BatchReplyReader {
public:
    BatchReplyReader(const uint8_t* answer, size_t length) : at_(answer), end_(answer + length) {}

    /// The count word; false when the answer is too short to hold one.
    bool readCount(uint32_t& count)
    {
        if (size_t(end_ - at_) < kBatchCountSize)
            return false;
        count = getU32(at_);
        at_ += kBatchCountSize;
        return true;
    }

    /// The next answer's header and output; false when the header does not fit what arrived
    /// or the announced output exceeds `room` or what follows it.
    bool next(uint32_t room, ReplyHeader& h, const uint8_t*& output)
    {
        if (size_t(end_ - at_) < kReplyHeaderSize)
            return false;
        uint8_t raw[kReplyHeaderSize];
        std::memcpy(raw, at_, sizeof raw);
        h = decodeReply(raw);
        at_ += kReplyHeaderSize;
        if (h.outputLength > room || h.outputLength > size_t(end_ - at_))
            return false;
        output = at_;
        at_ += h.outputLength;
        return true;
    }

private:
    const uint8_t* at_;
    const uint8_t* end_;
};

} // namespace Vdapi::DriverWire
