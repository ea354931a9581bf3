// Requests and records of the PCIe, legacy PCI and Bb2 kernel drivers: interface classes,
// request codes, record layouts with their byte offsets and little-endian codecs.
//
// All offsets are in bytes from the start of the record; every integer is little-endian.
// The Bb2 driver understands the PCIe request set on its own interface class.
// Requests whose layout the device layer and the driver agree on beyond the published table
// (function-block listing, legacy function information, legacy I/O configuration, legacy link
// speed) are marked "driver extension".
#pragma once

#include "devices/WireBytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Vdapi::DriverProtocol {

// ---- Device-interface classes (SetupAPI GUIDs; on POSIX the directory below drivers/) ----
inline constexpr const char* kPcieInterfaceClass = "{18ab1e49-c874-4619-b8ac-62232b4ec41b}";
inline constexpr const char* kLegacyInterfaceClass = "{9051d683-157f-44b7-9a22-6b013cca676a}";
inline constexpr const char* kBb2InterfaceClass = "{f9882bf6-b32d-4098-801b-efb0ad1135f9}";
inline constexpr const char* kUsbInterfaceClass = "{96a04ed6-faa1-47fb-a209-e7beec779e28}";

/// Legacy device names are this prefix plus the decimal index ("Vda1xx-0" .. "Vda1xx-49");
/// Windows opens them as "\\.\Vda1xx-N".
inline constexpr const char* kLegacyNamePrefix = "Vda1xx-";
inline constexpr int kMaxInterfaces = 50; ///< interface indices 0..49 per class

// ---- Request codes ----
// Legacy PCI driver (device type 0xB02C)
inline constexpr uint32_t kLegacyGetVersion = 0xB02C707E;       ///< out: VersionRecord
inline constexpr uint32_t kLegacyGetVersionByName = 0xB02C707C; ///< same, on a Vda1xx-N name
inline constexpr uint32_t kLegacyGetFunctionInfo = 0xB02C7082;  ///< driver extension, out: LegacyFunctionInfo
inline constexpr uint32_t kLegacyGetProperty = 0xB02C712A;      ///< in: 88-byte query, out: 16
inline constexpr uint32_t kLegacyExclusiveAccess = 0xB02C70AE;  ///< in: 12 bytes, no output
inline constexpr uint32_t kLegacyGetLinkSpeed = 0xB02C70B2;     ///< driver extension, in: port, out: int32 code
inline constexpr uint32_t kLegacyIoConfig = 0xB02C713A;         ///< driver extension, in: 4 + 56n, out: 136n
// PCIe and Bb2 drivers (device type 0xAFC8)
inline constexpr uint32_t kGetVersion = 0xAFC86EE2;      ///< in: Header, out: VersionRecord
inline constexpr uint32_t kGetDeviceInfo = 0xAFC87046;   ///< in: Header, out: 104-byte record (all 7 words)
inline constexpr uint32_t kGetDeviceInfoOld = 0xAFC86EE6; ///< in: Header, out: 104-byte record, word 92 is 0
inline constexpr uint32_t kGetProperty = 0xAFC86F1A;     ///< in: 104-byte query, out: 16
inline constexpr uint32_t kIoConfig = 0xAFC86F0E;        ///< in: 20 + 56n, out: 8 + 136n
inline constexpr uint32_t kExclusiveAccess = 0xAFC86F06; ///< in: FunctionBlockHeader, no output
inline constexpr uint32_t kGetLinkSpeed = 0xAFC86FBE;    ///< in: FunctionBlockHeader (command 11), out: int32
inline constexpr uint32_t kListFunctionBlocks = 0xAFC86F32; ///< driver extension, see below
inline constexpr uint32_t kGetMacAddress = 0xAFC86FC2; ///< driver extension, in: FunctionBlockHeader (command 12), out: 8

// ---- Driver-defined ("customer", bit 29) Windows errors and the result codes they stand for ----
struct CustomerError {
    uint32_t windowsError;
    uint32_t result; ///< device-layer result code
};
// A driver-defined error carries the result code it stands for in its low 16 bits, which is how
// the device layer's DriverErrorToResult reads it back; "held by another user" keeps its own number.
inline constexpr uint32_t kCustomerErrorBase = 0xE0000000;
inline constexpr uint32_t kErrInternal = kCustomerErrorBase | 4126;     ///< driver-internal failure
inline constexpr uint32_t kErrNotFound = kCustomerErrorBase | 4118;     ///< unknown property or block
inline constexpr uint32_t kErrNotSupported = kCustomerErrorBase | 4119; ///< command not offered by this block/port
inline constexpr uint32_t kErrInvalidArg = kCustomerErrorBase | 4140;   ///< malformed field (name without NUL, bad command)
inline constexpr uint32_t kErrNoSuchPort = kCustomerErrorBase | 4143;   ///< port index outside the device
inline constexpr uint32_t kErrHeldByOtherUser = 0xE000000A; ///< function block claimed by another handle
inline constexpr std::array<CustomerError, 6> kCustomerErrors{{
    {kErrInternal, 4126},        // VDAPI_E_INTERNAL
    {kErrNotFound, 4118},        // VDAPI_E_NOT_FOUND
    {kErrNotSupported, 4119},    // VDAPI_E_NOT_SUPPORTED
    {kErrInvalidArg, 4140},      // VDAPI_E_INVALID_ARG
    {kErrNoSuchPort, 4143},      // VDAPI_E_NO_SUCH_PORT
    {kErrHeldByOtherUser, 4104}, // VDAPI_E_IN_USE
}};

// ---- Headers ----
/// A hardware function block, named by its two identifiers.
struct BlockId {
    uint32_t id1 = 0, id2 = 0;
    bool operator==(const BlockId&) const = default;
};

/// Plain header {0, -1, -1, -1}: the input of version and information requests.
inline constexpr size_t kHeaderSize = 16;
inline void encodePlainHeader(uint8_t* p)
{
    Wire::putU32(p, 0);
    Wire::putI32(p + 4, -1);
    Wire::putI32(p + 8, -1);
    Wire::putI32(p + 12, -1);
}

/// Function-block header {id1, id2, command, -1}: exclusive access and link speed.
struct FunctionBlockHeader {
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    int32_t command = 0;
    static constexpr size_t kSize = 16;
    void encode(uint8_t* p) const
    {
        Wire::putU32(p, id1);
        Wire::putU32(p + 4, id2);
        Wire::putI32(p + 8, command);
        Wire::putI32(p + 12, -1);
    }
    static FunctionBlockHeader decode(const uint8_t* p)
    {
        return {Wire::getU32(p), Wire::getU32(p + 4), Wire::getI32(p + 8)};
    }
};

/// Driver commands in a function-block header: the exclusive-access command minus 1, and 11.
enum DriverCommand : int32_t {
    kCmdAcquire = 0,
    kCmdRelease = 1,
    kCmdProbe = 2,
    kCmdPassThrough = 3, ///< the simulated drivers answer kErrNotSupported
    kCmdLinkSpeed = 11,
    kCmdMacAddress = 12,
};

// ---- Version record: major, minor, bugfix, build as 4 x int32 ----
struct VersionRecord {
    int32_t major = -1, minor = -1, bugfix = -1, build = -1;
    static constexpr size_t kSize = 16;
    void encode(uint8_t* p) const
    {
        Wire::putI32(p, major);
        Wire::putI32(p + 4, minor);
        Wire::putI32(p + 8, bugfix);
        Wire::putI32(p + 12, build);
    }
    static VersionRecord decode(const uint8_t* p)
    {
        return {Wire::getI32(p), Wire::getI32(p + 4), Wire::getI32(p + 8), Wire::getI32(p + 12)};
    }
};

// ---- Device-information record, 104 bytes ----
struct DeviceInfoRecord {
    static constexpr size_t kSize = 104;
    static constexpr size_t kTypeNumber = 0, kSubType = 4, kPrivate8 = 8, kSerial = 16,
                            kHardwareRevision = 24, kFirmwareVersion = 28, kFirmwareVariant = 32,
                            kPrivate36 = 36, kFirmwareStatus = 40, kInfoBlock = 44, kVendorId = 50,
                            kDeviceId = 52, kSubVendorId = 54, kSubsystemId = 56, kPciBus = 60,
                            kPciSlot = 64, kDriverInfo = 68, kDriverInfo7 = 92;
    int32_t typeNumber = 0, subType = 0, private8 = 0;
    int64_t serial = 0;
    int32_t hardwareRevision = 0, firmwareVersion = 0, firmwareVariant = 0, private36 = 0;
    int32_t firmwareStatus = 0;
    uint16_t infoBlockWord = 0;          ///< first of the five infoBlock values
    std::array<uint8_t, 4> infoBlockBytes{}; ///< the other four
    uint16_t vendorId = 0, deviceId = 0, subVendorId = 0, subsystemId = 0;
    int32_t pciBus = 0, pciSlot = 0;
    std::array<int32_t, 7> driverInfo{}; ///< the seventh word only in the newer request's reply

    /// Writes the record; `withSeventhWord` false leaves offset 92 zero (older request).
    void encode(uint8_t* p, bool withSeventhWord = true) const
    {
        std::memset(p, 0, kSize);
        Wire::putI32(p + kTypeNumber, typeNumber);
        Wire::putI32(p + kSubType, subType);
        Wire::putI32(p + kPrivate8, private8);
        Wire::putI64(p + kSerial, serial);
        Wire::putI32(p + kHardwareRevision, hardwareRevision);
        Wire::putI32(p + kFirmwareVersion, firmwareVersion);
        Wire::putI32(p + kFirmwareVariant, firmwareVariant);
        Wire::putI32(p + kPrivate36, private36);
        Wire::putI32(p + kFirmwareStatus, firmwareStatus);
        Wire::putU16(p + kInfoBlock, infoBlockWord);
        std::memcpy(p + kInfoBlock + 2, infoBlockBytes.data(), 4);
        Wire::putU16(p + kVendorId, vendorId);
        Wire::putU16(p + kDeviceId, deviceId);
        Wire::putU16(p + kSubVendorId, subVendorId);
        Wire::putU16(p + kSubsystemId, subsystemId);
        Wire::putI32(p + kPciBus, pciBus);
        Wire::putI32(p + kPciSlot, pciSlot);
        for (int i = 0; i < 6; ++i) Wire::putI32(p + kDriverInfo + 4 * i, driverInfo[size_t(i)]);
        if (withSeventhWord) Wire::putI32(p + kDriverInfo7, driverInfo[6]);
    }
    static DeviceInfoRecord decode(const uint8_t* p)
    {
        DeviceInfoRecord r;
        r.typeNumber = Wire::getI32(p + kTypeNumber);
        r.subType = Wire::getI32(p + kSubType);
        r.private8 = Wire::getI32(p + kPrivate8);
        r.serial = Wire::getI64(p + kSerial);
        r.hardwareRevision = Wire::getI32(p + kHardwareRevision);
        r.firmwareVersion = Wire::getI32(p + kFirmwareVersion);
        r.firmwareVariant = Wire::getI32(p + kFirmwareVariant);
        r.private36 = Wire::getI32(p + kPrivate36);
        r.firmwareStatus = Wire::getI32(p + kFirmwareStatus);
        r.infoBlockWord = Wire::getU16(p + kInfoBlock);
        std::memcpy(r.infoBlockBytes.data(), p + kInfoBlock + 2, 4);
        r.vendorId = Wire::getU16(p + kVendorId);
        r.deviceId = Wire::getU16(p + kDeviceId);
        r.subVendorId = Wire::getU16(p + kSubVendorId);
        r.subsystemId = Wire::getU16(p + kSubsystemId);
        r.pciBus = Wire::getI32(p + kPciBus);
        r.pciSlot = Wire::getI32(p + kPciSlot);
        for (int i = 0; i < 7; ++i) r.driverInfo[size_t(i)] = Wire::getI32(p + kDriverInfo + 4 * i);
        return r;
    }
};

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

// ---- Property queries; the reply is 16 bytes with the 64-bit value at offset 8 ----
inline constexpr size_t kNameField = 50;      ///< name bytes including the NUL; 49 characters at most
inline constexpr size_t kPropertyReplySize = 16;
inline constexpr size_t kPropertyReplyValue = 8;

/// Value type a typed property accessor asks for. Drivers answer one 64-bit value whatever the
/// type; a family with a fixed table of its own (network adapters) checks it.
enum PropertyValueType : int32_t {
    kValueBool = 0,
    kValueInt32 = 1,
    kValueInt64 = 6,
    kValueUInt64 = 7,
};

struct PropertyQuery {
    std::string name;
    int32_t port = -1;        ///< 0-based, -1 = device level
    int32_t typeSelector = -1; ///< -1 = the device's own type
    int32_t subFunction = -1;
    int32_t selector3 = 0, selector4 = 0, selector5 = -1;
    int32_t valueType = kValueUInt64; ///< not sent to a driver
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

// ---- I/O configuration by names (PCIe/Bb2 kIoConfig; the USB driver uses the same records) ----
inline constexpr size_t kIoRequestHeaderSize = 20;   ///< id1, id2, 0, -1, record count
inline constexpr size_t kIoRequestRecordSize = 56;   ///< u32 0-based port, group name at 4
inline constexpr size_t kIoRequestRecordName = 4;
inline constexpr size_t kIoReplyHeaderSize = 8;      ///< u32 0, u32 record count
inline constexpr size_t kIoReplyRecordSize = 136;
inline constexpr size_t kIoReplyValue = 0, kIoReplySubValue = 50, kIoReplyPar1 = 104, kIoReplyPar2 = 112;
inline constexpr uint32_t kMaxIoRecords = 256; ///< larger counts are refused as invalid

struct IoConfigItem {
    int32_t port = 0;     ///< 0-based
    std::string group;    ///< e.g. "IODIR"
    std::string value;    ///< e.g. "OUTPUT"; empty when unset
    std::string subValue; ///< e.g. "DBLBUF"
    int64_t par1 = -1, par2 = -1;
};

inline void encodeIoRequestRecord(uint8_t* p, const IoConfigItem& item)
{
    std::memset(p, 0, kIoRequestRecordSize);
    Wire::putI32(p, item.port);
    Wire::putName(p + kIoRequestRecordName, kNameField, item.group);
}
inline void decodeIoRequestRecord(const uint8_t* p, IoConfigItem& item)
{
    item.port = Wire::getI32(p);
    item.group = Wire::getName(p + kIoRequestRecordName, kNameField);
}
inline void encodeIoReplyRecord(uint8_t* p, const IoConfigItem& item)
{
    std::memset(p, 0, kIoReplyRecordSize);
    Wire::putName(p + kIoReplyValue, kNameField, item.value);
    Wire::putName(p + kIoReplySubValue, kNameField, item.subValue);
    Wire::putI64(p + kIoReplyPar1, item.par1);
    Wire::putI64(p + kIoReplyPar2, item.par2);
}
inline void decodeIoReplyRecord(const uint8_t* p, IoConfigItem& item)
{
    item.value = Wire::getName(p + kIoReplyValue, kNameField);
    item.subValue = Wire::getName(p + kIoReplySubValue, kNameField);
    item.par1 = Wire::getI64(p + kIoReplyPar1);
    item.par2 = Wire::getI64(p + kIoReplyPar2);
}

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

/// Request header of the USB driver's I/O configuration: u32 record count, then the 56-byte
/// name records; its reply is 136 bytes per record with no header.
inline constexpr size_t kCountHeaderSize = 4;

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

// ---- Exclusive access and link speed ----
/// Legacy exclusive-access request (kLegacyExclusiveAccess): {1, 0-based port, command 1..3}.
/// The USB driver accepts the same request.
struct LegacyExclusiveRequest {
    static constexpr size_t kSize = 12;
    int32_t port = 0;
    int32_t command = 0; ///< 1 acquire, 2 release, 3 probe
    void encode(uint8_t* p) const
    {
        Wire::putI32(p, 1);
        Wire::putI32(p + 4, port);
        Wire::putI32(p + 8, command);
    }
    static LegacyExclusiveRequest decode(const uint8_t* p) { return {Wire::getI32(p + 4), Wire::getI32(p + 8)}; }
};
inline constexpr int32_t kLegacyAcquire = 1, kLegacyRelease = 2, kLegacyProbe = 3;

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
enum BlockRole : int32_t {
    kRoleCore = 0,
    kRoleReceive = 1,
    kRoleTransmit = 2,
    kRoleDemod = 3,
    kRoleMod = 4,
    kRoleNetwork = 5,
};
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
