// Requests and records of the PCIe, legacy PCI and Bb2 kernel drivers: request codes, record
// layouts with their byte offsets and little-endian codecs. What every family shares is in
// devices/DriverRequests.h.
//
// All offsets are in bytes from the start of the record; every integer is little-endian.
// The Bb2 driver understands the PCIe request set on its own interface class.
// Requests whose layout the device layer and the driver agree on beyond the published table
// (function-block listing, legacy function information, legacy I/O configuration, legacy link
// speed) are marked "driver extension".
#pragma once

#include "devices/DriverRequests.h"
#include "base/WireBytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Vdapi::DriverProtocol {

// ---- Request codes ----
// Legacy PCI driver (device type 0xB02C)
inline constexpr uint32_t kLegacyGetVersion = 0xB02C707E;       ///< out: VersionRecord
inline constexpr uint32_t kLegacyGetVersionByName = 0xB02C707C; ///< same, on a Vda1xx-N name
inline constexpr uint32_t kLegacyGetFunctionInfo = 0xB02C7082;  ///< driver extension, out: LegacyFunctionInfo
inline constexpr uint32_t kLegacyGetProperty = 0xB02C712A;      ///< in: 88-byte query, out: 16
inline constexpr uint32_t kLegacyGetLinkSpeed = 0xB02C70B2;     ///< driver extension, in: port, out: int32 code
inline constexpr uint32_t kLegacyIoConfig = 0xB02C713A;         ///< driver extension, in: 4 + 56n, out: 136n
// PCIe and Bb2 drivers (device type 0xAFC8)
inline constexpr uint32_t kGetVersion = 0xAFC86EE2;      ///< in: Header, out: VersionRecord
inline constexpr uint32_t kGetDeviceInfo = 0xAFC87046;   ///< in: Header, out: 104-byte record (all 7 words)
inline constexpr uint32_t kGetDeviceInfoOld = 0xAFC86EE6; ///< in: Header, out: 104-byte record, word 92 is 0
inline constexpr uint32_t kGetProperty = 0xAFC86F1A;     ///< in: 104-byte query, out: 16
inline constexpr uint32_t kIoConfig = 0xAFC86F0E;        ///< in: 20 + 56n, out: 8 + 136n
inline constexpr uint32_t kGetLinkSpeed = 0xAFC86FBE;    ///< in: FunctionBlockHeader (command 11), out: int32
inline constexpr uint32_t kListFunctionBlocks = 0xAFC86F32; ///< driver extension, see below
inline constexpr uint32_t kGetMacAddress = 0xAFC86FC2; ///< driver extension, in: FunctionBlockHeader (command 12), out: 8

/// Legacy function information (driver extension, request kLegacyGetFunctionInfo), 112 bytes:
/// the 104-byte device-information record of the card this PCI function belongs to, then
/// at 104 the 64-bit device key (equal for all functions of one card) and, inside the private
/// words, the function's index within the card at 8 and the number of card functions at 36.
struct LegacyFunctionInfo {
    static constexpr size_t kSize = 112;
    static constexpr size_t kDeviceKey = 104;
    DeviceInfoRecord info; ///< info.private8 = function index, info.private36 = function count
    uint64_t deviceKey = 0;
    void encode(uint8_t* p) const
    {
        info.encode(p, true);
        Wire::putU64(p + kDeviceKey, deviceKey);
    }
    static LegacyFunctionInfo decode(const uint8_t* p)
    {
        return {DeviceInfoRecord::decode(p), Wire::getU64(p + kDeviceKey)};
    }
};

/// PCIe/Bb2 property request (kGetProperty), 104 bytes.
struct PciePropertyRequest {
    static constexpr size_t kSize = 104;
    static constexpr size_t kBlockId1 = 0, kBlockId2 = 4, kZero = 8, kMinusOne = 12, kTypeSelector = 16,
                            kMinusOne16 = 20, kSubFunction = 22, kSelector3 = 24, kSelector4 = 28,
                            kSelector5 = 32, kPort = 36, kName = 40, kSix = 92, kNine = 96;
    uint32_t blockId1 = 0, blockId2 = 0; ///< the core function block
    PropertyQuery query;
    /// Returns false when the name does not fit (49 characters at most).
    bool encode(uint8_t* p) const
    {
        std::memset(p, 0, kSize);
        Wire::putU32(p + kBlockId1, blockId1);
        Wire::putU32(p + kBlockId2, blockId2);
        Wire::putI32(p + kMinusOne, -1);
        Wire::putI32(p + kTypeSelector, query.typeSelector);
        Wire::putU16(p + kMinusOne16, 0xFFFF);
        Wire::putU16(p + kSubFunction, uint16_t(query.subFunction));
        Wire::putI32(p + kSelector3, query.selector3);
        Wire::putI32(p + kSelector4, query.selector4);
        Wire::putI32(p + kSelector5, query.selector5);
        Wire::putI32(p + kPort, query.port);
        Wire::putU32(p + kSix, 6);
        Wire::putU64(p + kNine, 9);
        return Wire::putName(p + kName, kNameField, query.name);
    }
    static PciePropertyRequest decode(const uint8_t* p)
    {
        PciePropertyRequest r;
        r.blockId1 = Wire::getU32(p + kBlockId1);
        r.blockId2 = Wire::getU32(p + kBlockId2);
        r.query.typeSelector = Wire::getI32(p + kTypeSelector);
        r.query.subFunction = int16_t(Wire::getU16(p + kSubFunction));
        r.query.selector3 = Wire::getI32(p + kSelector3);
        r.query.selector4 = Wire::getI32(p + kSelector4);
        r.query.selector5 = Wire::getI32(p + kSelector5);
        r.query.port = Wire::getI32(p + kPort);
        r.query.name = Wire::getName(p + kName, kNameField);
        return r;
    }
};

/// Legacy PCI property request (kLegacyGetProperty), 88 bytes.
struct LegacyPropertyRequest {
    static constexpr size_t kSize = 88;
    static constexpr size_t kTypeSelector = 0, kSubFunction = 4, kSelector3 = 8, kSelector4 = 12,
                            kSelector5 = 16, kPort = 20, kName = 24, kSix = 76, kNine = 80;
    PropertyQuery query;
    bool encode(uint8_t* p) const
    {
        std::memset(p, 0, kSize);
        Wire::putI32(p + kTypeSelector, query.typeSelector);
        Wire::putI32(p + kSubFunction, query.subFunction);
        Wire::putI32(p + kSelector3, query.selector3);
        Wire::putI32(p + kSelector4, query.selector4);
        Wire::putI32(p + kSelector5, query.selector5);
        Wire::putI32(p + kPort, query.port);
        Wire::putU32(p + kSix, 6);
        Wire::putU64(p + kNine, 9);
        return Wire::putName(p + kName, kNameField, query.name);
    }
    static LegacyPropertyRequest decode(const uint8_t* p)
    {
        LegacyPropertyRequest r;
        r.query.typeSelector = Wire::getI32(p + kTypeSelector);
        r.query.subFunction = Wire::getI32(p + kSubFunction);
        r.query.selector3 = Wire::getI32(p + kSelector3);
        r.query.selector4 = Wire::getI32(p + kSelector4);
        r.query.selector5 = Wire::getI32(p + kSelector5);
        r.query.port = Wire::getI32(p + kPort);
        r.query.name = Wire::getName(p + kName, kNameField);
        return r;
    }
};

/// Input of kIoConfig for one record: the 20-byte header {core id1, core id2, 0, -1, count 1}
/// followed by the 56-byte name record.
inline constexpr size_t kIoRequestOneSize = kIoRequestHeaderSize + kIoRequestRecordSize;
inline void encodeIoRequestOne(uint8_t* p, const BlockId& core, const IoConfigItem& item)
{
    Wire::putU32(p, core.id1);
    Wire::putU32(p + 4, core.id2);
    Wire::putU32(p + 8, 0);
    Wire::putI32(p + 12, -1);
    Wire::putU32(p + 16, 1);
    encodeIoRequestRecord(p + kIoRequestHeaderSize, item);
}

/// Legacy I/O configuration (driver extension, kLegacyIoConfig). A driver with a hardware-access
/// object takes the records as numbers: input u32 count then `count` 32-byte records with the
/// 1-based port and the group code set and the rest -1; the reply is the same records, answered,
/// with no header. Codes are those of the I/O-configuration table.
struct LegacyIoRecord {
    static constexpr size_t kSize = 32;
    static constexpr size_t kPort = 0, kGroup = 4, kValue = 8, kSubValue = 12, kPar1 = 16, kPar2 = 24;
    int32_t port = 0; ///< 1-based within the PCI function
    int32_t group = -1, value = -1, subValue = -1;
    int64_t par1 = -1, par2 = -1;
    void encode(uint8_t* p) const
    {
        Wire::putI32(p + kPort, port);
        Wire::putI32(p + kGroup, group);
        Wire::putI32(p + kValue, value);
        Wire::putI32(p + kSubValue, subValue);
        Wire::putI64(p + kPar1, par1);
        Wire::putI64(p + kPar2, par2);
    }
    static LegacyIoRecord decode(const uint8_t* p)
    {
        return {Wire::getI32(p + kPort),     Wire::getI32(p + kGroup), Wire::getI32(p + kValue),
                Wire::getI32(p + kSubValue), Wire::getI64(p + kPar1),  Wire::getI64(p + kPar2)};
    }
};
inline constexpr size_t kLegacyIoRequestHeaderSize = kCountHeaderSize;

// ---- Link speed ----
/// Link-speed reply: int32 code. 0..5 mean speeds 1..6, 7 and 8 stand for themselves,
/// 6 and anything else mean "no link".
inline constexpr size_t kLinkSpeedReplySize = 4;
/// Legacy link-speed request (driver extension): int32 0-based port; reply as above.
inline constexpr size_t kLegacyLinkSpeedRequestSize = 4;

/// MAC-address reply of a port's network function block (driver extension, kGetMacAddress):
/// the six octets, first octet first, then two bytes of zero padding.
inline constexpr size_t kMacReplySize = 8;
inline constexpr size_t kMacLength = 6;

// ---- Function blocks (driver extension, kListFunctionBlocks) ----
// Which hardware function blocks a port uses for a role is the driver's knowledge. The
// request is the plain header followed by int32 0-based port (-1 for the device) and int32
// role, 24 bytes; the reply is u32 count then count x {u32 id1, u32 id2}, at most
// kMaxBlocksPerRole entries. The core block is role kRoleCore with port -1.
inline constexpr size_t kListBlocksRequestSize = 24;
inline constexpr size_t kMaxBlocksPerRole = 8;
inline constexpr size_t kListBlocksReplyMax = 4 + 8 * kMaxBlocksPerRole;


/// Reads a block-list reply. Returns false (out empty) when the reply is shorter than its
/// count says or the count exceeds kMaxBlocksPerRole.
inline bool decodeBlockList(const uint8_t* p, size_t size, std::vector<BlockId>& out)
{
    out.clear();
    if (size < 4) return false;
    uint32_t n = Wire::getU32(p);
    if (n > kMaxBlocksPerRole || size < 4 + size_t(n) * 8) return false;
    for (uint32_t i = 0; i < n; ++i) out.push_back({Wire::getU32(p + 4 + 8 * i), Wire::getU32(p + 8 + 8 * i)});
    return true;
}

} // namespace Vdapi::DriverProtocol
