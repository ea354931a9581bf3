// Messages of the device service on the pipe "VdeRecvPipe": framing, command codes with their
// request and reply sizes and field offsets, the shared-memory device list and the 40-byte
// device-list entry, with little-endian codecs.
//
// Every reply starts with a u32 the client does not examine and the u32 result code at 4.
// Texts are NUL-terminated; offsets are in bytes.
#pragma once

#include "base/WireBytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Vdapi::ServiceProtocol {

inline constexpr const char* kPipeName = "VdeRecvPipe";
inline constexpr const char* kGlobalPipeName = "VdGlobalRecvPipe"; ///< firmware programming only
inline constexpr const char* kSharedMemPrefix = "Global\\";        ///< prefixed to the list's section name

// ---- Framing ----
// A payload below 65535 bytes: 2-byte header, the length as u16. Otherwise an 8-byte header
// FF FF 00 00 then the length as u32.
inline constexpr size_t kShortHeaderSize = 2;
inline constexpr size_t kLongHeaderSize = 8;
inline constexpr uint32_t kLongPayloadThreshold = 65535;
inline constexpr uint32_t kMaxMessage = 1u << 20; ///< receivers refuse announced lengths above this

/// Writes the header for a payload of `length` bytes into `out` (8 bytes room); returns its size.
inline size_t encodeFrameHeader(uint32_t length, uint8_t* out)
{
    if (length < kLongPayloadThreshold) {
        Wire::putU16(out, uint16_t(length));
        return kShortHeaderSize;
    }
    out[0] = 0xFF;
    out[1] = 0xFF;
    out[2] = 0;
    out[3] = 0;
    Wire::putU32(out + 4, length);
    return kLongHeaderSize;
}
/// True when the first two header bytes announce the 8-byte form.
inline bool isLongHeader(const uint8_t* first2) { return first2[0] == 0xFF && first2[1] == 0xFF; }
/// Length from a short header (2 bytes) or a long one (8 bytes).
inline uint32_t shortHeaderLength(const uint8_t* p) { return Wire::getU16(p); }
inline uint32_t longHeaderLength(const uint8_t* p) { return Wire::getU32(p + 4); }

// ---- Commands ----
enum Command : int32_t {
    kCmdVersion = 0,
    kCmdNumericProperty = 1,
    kCmdListNames = 2,
    kCmdEventPipe = 3,
    kCmdDemodAttach = 4,
    kCmdDemodDetach = 5,
    kCmdDemodAccessMode = 6,
    kCmdStringProperty = 7,
    kCmdChannel8 = 8,
    kCmdChannel9 = 9,
    kCmdChannel10 = 10,
    kCmdRefreshList = 11,
    kCmdGoodbye = -1,
};

struct CommandSizes {
    int32_t command;
    uint32_t request; ///< exact request size
    uint32_t reply;   ///< exact reply size (command 9: the minimum, 12 + data length); 0 = no reply
};
inline constexpr std::array<CommandSizes, 13> kCommandSizes{{
    {kCmdVersion, 4, 24},
    {kCmdNumericProperty, 72, 24},
    {kCmdListNames, 4, 408},
    {kCmdEventPipe, 136, 8},
    {kCmdDemodAttach, 24, 16},
    {kCmdDemodDetach, 24, 8},
    {kCmdDemodAccessMode, 32, 8},
    {kCmdStringProperty, 72, 108},
    {kCmdChannel8, 16, 8},
    {kCmdChannel9, 40, 12},
    {kCmdChannel10, 304, 8},
    {kCmdRefreshList, 4, 8},
    {kCmdGoodbye, 4, 0},
}};
/// Sizes of a command, or nullptr for an unknown one.
inline const CommandSizes* findCommand(int32_t command)
{
    for (const auto& c : kCommandSizes)
        if (c.command == command) return &c;
    return nullptr;
}

inline constexpr size_t kReplyResult = 4;  ///< u32 result code in every reply
inline constexpr size_t kMinReplySize = 8;

// Command 0, version: reply 24 bytes.
inline constexpr size_t kVersionMajor = 8, kVersionMinor = 12, kVersionBugfix = 16, kVersionBuild = 20;

// Commands 1 and 7, property look-up: request 72 bytes.
inline constexpr size_t kPropName = 4;
inline constexpr size_t kPropNameField = 52;   ///< 49 characters at most are sent
inline constexpr size_t kPropMaxNameLength = 49;
inline constexpr size_t kPropTypeNumber = 56;
inline constexpr size_t kPropField60 = 60;     ///< command 1: firmware version; command 7: key field
inline constexpr size_t kPropField64 = 64;     ///< command 1: 0; command 7: key field
inline constexpr size_t kPropPortPlusOne = 68; ///< 0 = the device itself
// Command 1 reply (24): value u64 at 8, two u32 at 16 and 20.
inline constexpr size_t kNumericValue = 8, kNumericExtra1 = 16, kNumericExtra2 = 20;
// Command 7 reply (108): u32 text length at 8, text at 12 (96 bytes, 95 characters at most).
inline constexpr size_t kStringLength = 8, kStringText = 12, kStringTextField = 96;

// Command 2, list names: reply 408 bytes, two UTF-16 names of 100 code units.
inline constexpr size_t kMutexName = 8, kSharedMemName = 208, kListNameUnits = 100;

// Command 3, event pipe: name at 4 (128 bytes), mask u32 at 132.
inline constexpr size_t kEventPipeName = 4, kEventPipeNameField = 128, kEventMask = 132;

// Command 9 reply: data length u32 at 8, data at 12.
inline constexpr size_t kChannelDataLength = 8, kChannelData = 12;

// ---- Shared-memory device list ----
inline constexpr uint32_t kListVersion = 1;
inline constexpr size_t kListVersionOffset = 0;
inline constexpr size_t kListCountOffset = 8; ///< int32 number of valid entries
inline constexpr size_t kListEntriesOffset = 24;
inline constexpr size_t kListMaxEntries = 512;
inline constexpr size_t kListEntrySize = 40;
inline constexpr size_t kListMappedSize = kListEntriesOffset + kListMaxEntries * kListEntrySize; // 20504

/// One Ethernet-attached device, 40 bytes.
struct VdeListEntry {
    static constexpr size_t kSize = 40;
    static constexpr size_t kSerial = 0, kTypeNumber = 8, kFirmwareVersion = 12, kFirmwareVariant = 16,
                            kIpAddress = 20, kMacAddress = 24, kPadding = 30, kOpMode = 32, kPort = 36;
    int64_t serial = 0;
    int32_t typeNumber = 0, firmwareVersion = 0, firmwareVariant = 0;
    std::array<uint8_t, 4> ipAddress{};  ///< first octet first
    std::array<uint8_t, 6> macAddress{}; ///< first octet first
    int32_t opMode = 0;                  ///< 0 = normal
    int32_t port = 0;                    ///< TCP port of the remote-call service
    void encode(uint8_t* p) const
    {
        Wire::putI64(p + kSerial, serial);
        Wire::putI32(p + kTypeNumber, typeNumber);
        Wire::putI32(p + kFirmwareVersion, firmwareVersion);
        Wire::putI32(p + kFirmwareVariant, firmwareVariant);
        std::memcpy(p + kIpAddress, ipAddress.data(), 4);
        std::memcpy(p + kMacAddress, macAddress.data(), 6);
        p[kPadding] = 0;
        p[kPadding + 1] = 0;
        Wire::putI32(p + kOpMode, opMode);
        Wire::putI32(p + kPort, port);
    }
    static VdeListEntry decode(const uint8_t* p)
    {
        VdeListEntry e;
        e.serial = Wire::getI64(p + kSerial);
        e.typeNumber = Wire::getI32(p + kTypeNumber);
        e.firmwareVersion = Wire::getI32(p + kFirmwareVersion);
        e.firmwareVariant = Wire::getI32(p + kFirmwareVariant);
        std::memcpy(e.ipAddress.data(), p + kIpAddress, 4);
        std::memcpy(e.macAddress.data(), p + kMacAddress, 6);
        e.opMode = Wire::getI32(p + kOpMode);
        e.port = Wire::getI32(p + kPort);
        return e;
    }
};

} // namespace Vdapi::ServiceProtocol
