// Little-endian field access and bounded NUL-terminated names inside fixed-layout records.
//
// Every driver record and device-service message is little-endian whatever the host; these
// helpers are the one place that packs and unpacks such fields. Callers check the record's
// length before reading (offset + width <= size); the helpers do not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace Vdapi::Wire {

inline void putU16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void putU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void putU64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void putI32(uint8_t* p, int32_t v) { putU32(p, uint32_t(v)); }
inline void putI64(uint8_t* p, int64_t v) { putU64(p, uint64_t(v)); }

inline uint16_t getU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t getU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t getU64(const uint8_t* p) { return uint64_t(getU32(p)) | uint64_t(getU32(p + 4)) << 32; }
inline int32_t getI32(const uint8_t* p) { return int32_t(getU32(p)); }
inline int64_t getI64(const uint8_t* p) { return int64_t(getU64(p)); }

/// Writes `text` into a field of `width` bytes, zero-filled, always NUL-terminated.
/// Returns false (field left zero) when the text needs more than width - 1 bytes.
inline bool putName(uint8_t* p, size_t width, std::string_view text)
{
    std::memset(p, 0, width);
    if (width == 0 || text.size() >= width) return false;
    std::memcpy(p, text.data(), text.size());
    return true;
}

/// Reads a NUL-terminated text from a field of `width` bytes; a field without a NUL yields
/// the whole field (never reads past it).
inline std::string getName(const uint8_t* p, size_t width)
{
    size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

/// Writes ASCII/Latin-1 `text` as UTF-16LE into `units` code units, zero-filled and
/// NUL-terminated. Returns false when it needs more than units - 1 code units.
inline bool putUtf16Name(uint8_t* p, size_t units, std::string_view text)
{
    std::memset(p, 0, units * 2);
    if (units == 0 || text.size() >= units) return false;
    for (size_t i = 0; i < text.size(); ++i) putU16(p + 2 * i, uint8_t(text[i]));
    return true;
}

/// Reads a NUL-terminated UTF-16LE name of at most `units` code units; code units above
/// 0x7F become '?' (names on this interface are ASCII).
inline std::string getUtf16Name(const uint8_t* p, size_t units)
{
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        uint16_t c = getU16(p + 2 * i);
        if (c == 0) break;
        out.push_back(c < 0x80 ? char(c) : '?');
    }
    return out;
}

} // namespace Vdapi::Wire
