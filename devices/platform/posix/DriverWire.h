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
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

struct RequestHeader {
    uint32_t code = 0;
    uint32_t inputLength = 0;
    uint32_t outputCapacity = 0;
};

struct ReplyHeader {
    uint32_t windowsError = 0;
    uint32_t outputLength = 0;
};

inline void putU32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

inline uint32_t getU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

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

} // namespace Vdapi::DriverWire
