// Requests and records of the USB kernel driver (device type 0xB1BC): request codes, the
// 40-byte device-information record and the 80-byte property request, with codecs.
//
// Offsets are in bytes, integers little-endian. Besides the requests below the USB driver
// accepts the legacy exclusive-access request (DriverProtocol::kLegacyExclusiveAccess) and the
// name-based I/O-configuration records of DriverProtocol (without the 20-byte header on input:
// u32 count then 56-byte records; reply 136 bytes per record, no header).
#pragma once

#include "base/WireBytes.h"
#include "devices/DriverRequests.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Vdapi::UsbDriverProtocol {

inline constexpr uint32_t kGetDeviceInfo = 0xB1BC76B6; ///< no input, out: 40-byte UsbDeviceInfo
inline constexpr uint32_t kGetVersion = 0xB1BC76BE;    ///< no input, out: 16-byte version record
inline constexpr uint32_t kGetSubType = 0xB1BC7702;    ///< no input, out: int32 sub-type
inline constexpr uint32_t kGetProperty = 0xB1BC7706;   ///< in: 80-byte request, out: 16 (value at 8)
inline constexpr uint32_t kIoConfig = 0xB1BC76E2;      ///< in: 4 + 56n, out: 136n

inline constexpr size_t kSubTypeReplySize = 4;
inline constexpr size_t kIoRequestHeaderSize = 4; ///< u32 record count

/// USB device-information record, 40 bytes.
struct UsbDeviceInfo {
    static constexpr size_t kSize = 40;
    static constexpr size_t kProductId = 0, kVendorId = 2, kUsbAddress = 4, kReserved8 = 8,
                            kTypeNumber = 12, kHardwareRevision = 16, kFirmwareVersion = 20,
                            kFirmwareVariant = 24, kReserved28 = 28, kSerial = 32;
    uint16_t productId = 0, vendorId = 0;
    uint32_t usbAddress = 0, reserved8 = 0, typeNumber = 0, hardwareRevision = 0;
    uint32_t firmwareVersion = 0, firmwareVariant = 0, reserved28 = 0;
    uint64_t serial = 0;
    void encode(uint8_t* p) const
    {
        Wire::putU16(p + kProductId, productId);
        Wire::putU16(p + kVendorId, vendorId);
        Wire::putU32(p + kUsbAddress, usbAddress);
        Wire::putU32(p + kReserved8, reserved8);
        Wire::putU32(p + kTypeNumber, typeNumber);
        Wire::putU32(p + kHardwareRevision, hardwareRevision);
        Wire::putU32(p + kFirmwareVersion, firmwareVersion);
        Wire::putU32(p + kFirmwareVariant, firmwareVariant);
        Wire::putU32(p + kReserved28, reserved28);
        Wire::putU64(p + kSerial, serial);
    }
    static UsbDeviceInfo decode(const uint8_t* p)
    {
        UsbDeviceInfo r;
        r.productId = Wire::getU16(p + kProductId);
        r.vendorId = Wire::getU16(p + kVendorId);
        r.usbAddress = Wire::getU32(p + kUsbAddress);
        r.reserved8 = Wire::getU32(p + kReserved8);
        r.typeNumber = Wire::getU32(p + kTypeNumber);
        r.hardwareRevision = Wire::getU32(p + kHardwareRevision);
        r.firmwareVersion = Wire::getU32(p + kFirmwareVersion);
        r.firmwareVariant = Wire::getU32(p + kFirmwareVariant);
        r.reserved28 = Wire::getU32(p + kReserved28);
        r.serial = Wire::getU64(p + kSerial);
        return r;
    }
};

/// Property request, 80 bytes: type selector at 0, the key's two further fields at 4 and 8,
/// 0-based port (-1 device) at 12, name at 16 (49 characters at most), u32 6 at 68, u64 9 at 72.
struct UsbPropertyRequest {
    static constexpr size_t kSize = 80;
    static constexpr size_t kTypeSelector = 0, kField1 = 4, kField2 = 8, kPort = 12, kName = 16,
                            kSix = 68, kNine = 72;
    int32_t typeSelector = -1, field1 = -1, field2 = 0, port = -1;
    std::string name;
    /// Returns false when the name does not fit.
    bool encode(uint8_t* p) const
    {
        std::memset(p, 0, kSize);
        Wire::putI32(p + kTypeSelector, typeSelector);
        Wire::putI32(p + kField1, field1);
        Wire::putI32(p + kField2, field2);
        Wire::putI32(p + kPort, port);
        Wire::putU32(p + kSix, 6);
        Wire::putU64(p + kNine, 9);
        return Wire::putName(p + kName, DriverProtocol::kNameField, name);
    }
    static UsbPropertyRequest decode(const uint8_t* p)
    {
        UsbPropertyRequest r;
        r.typeSelector = Wire::getI32(p + kTypeSelector);
        r.field1 = Wire::getI32(p + kField1);
        r.field2 = Wire::getI32(p + kField2);
        r.port = Wire::getI32(p + kPort);
        r.name = Wire::getName(p + kName, DriverProtocol::kNameField);
        return r;
    }
};

} // namespace Vdapi::UsbDriverProtocol
