// What the drivers of every family share: the customer errors, request headers, version and
// device-information records, property queries, name-based I/O-configuration records, the
// per-port exclusive-access request and the block roles, with their little-endian codecs.
// The driver classes, their interface GUIDs and limits are in DriverClass.h.
//
// All offsets are in bytes from the start of the record; every integer is little-endian.
#pragma once

#include "devices/DriverClass.h"
#include "base/WireBytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace Vdapi::DriverProtocol {

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

/// Request header of the USB driver's I/O configuration: u32 record count, then the 56-byte
/// name records; its reply is 136 bytes per record with no header.
inline constexpr size_t kCountHeaderSize = 4;

// ---- Exclusive access ----
/// Request code of the PCIe and Bb2 drivers for one function block.
inline constexpr uint32_t kExclusiveAccess = 0xAFC86F06; ///< in: FunctionBlockHeader, no output
// By port: a legacy PCI driver request the USB driver accepts too.
inline constexpr uint32_t kLegacyExclusiveAccess = 0xB02C70AE; ///< in: 12 bytes, no output
/// Legacy exclusive-access request (kLegacyExclusiveAccess): {1, 0-based port, command 1..3}.
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

// ---- Block roles: what a port uses a set of function blocks for ----
enum BlockRole : int32_t {
    kRoleCore = 0,
    kRoleReceive = 1,
    kRoleTransmit = 2,
    kRoleDemod = 3,
    kRoleMod = 4,
    kRoleNetwork = 5,
};

} // namespace Vdapi::DriverProtocol
