// The brick framing on the TCP stream: "KL", a 4-byte big-endian payload length, then the
// JSON text. Shared by the JSON-RPC client and every peer that speaks to a brick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kel::frame {

inline constexpr size_t kHeaderSize = 6;
inline constexpr uint8_t kMagic0 = 0x4B; // 'K'
inline constexpr uint8_t kMagic1 = 0x4C; // 'L'

/// Writes the 6-byte header for a payload of `length` bytes (the low 32 bits are sent).
inline void writeHeader(uint8_t* out, uint64_t length)
{
    const auto n = static_cast<uint32_t>(length);
    out[0] = kMagic0;
    out[1] = kMagic1;
    out[2] = uint8_t(n >> 24);
    out[3] = uint8_t(n >> 16);
    out[4] = uint8_t(n >> 8);
    out[5] = uint8_t(n);
}

/// Returns the payload length announced by a header, or nothing when the magic is wrong.
inline std::optional<uint32_t> readHeader(const uint8_t* in)
{
    if (in[0] != kMagic0 || in[1] != kMagic1)
        return std::nullopt;
    return uint32_t(in[2]) << 24 | uint32_t(in[3]) << 16 | uint32_t(in[4]) << 8 | uint32_t(in[5]);
}

/// One whole frame carrying `payload`.
inline std::string framed(std::string_view payload)
{
    std::string out(kHeaderSize, '\0');
    writeHeader(reinterpret_cast<uint8_t*>(out.data()), payload.size());
    out.append(payload);
    return out;
}

} // namespace kel::frame
