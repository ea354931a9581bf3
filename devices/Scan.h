// Scan entry points of the device layer: ScanDevices (all devices, or one targeted device)
// and ScanHwFunctions (all ports of all devices).
#pragma once

#include "devices/DeviceDescriptor.h"
#include "devices/IDevice.h"
#include "devices/VdapiResult.h"
#include "devices/platform/IXpNetwork.h"

#include <cstdint>
#include <memory>

namespace Vdapi {

enum class ScanMode : int32_t {
    All = 0,       ///< list every device
    BySerial = 1,  ///< the device with `serial`
    BySlot = 2,    ///< the device at pciBus/pciSlot
    ByType = 3,    ///< the typeIndex-th (0-based) device of typeNumber
    ByAddress = 4, ///< the device whose IPv4 address equals the first 4 bytes of `address`
};

/// Device list size of ScanHwFunctions: the larger family limit (512 Ethernet-attached
/// devices, against 50 per PCI-style family) plus one.
inline constexpr int kScanDeviceListSize = 513;

/// Lists devices (mode All) or finds one (the other modes); see ScanMode. Descriptors go to
/// buffer[0..capacity); count receives the number found. In a targeted mode the device found
/// is handed to foundDevice, or for the Bb2 family to foundBb2Device (either may be null).
/// Mode All: VDAPI_OK (also with no device at all), or VDAPI_E_BUF_TOO_SMALL when a family
/// found more than fitted; other family errors are dropped. Targeted: VDAPI_OK when found,
/// the first family error other than VDAPI_E_NO_SUCH_DEVICE (e.g. VDAPI_E_DRIVER_INCOMP),
/// else VDAPI_E_NO_SUCH_DEVICE.
VdResult ScanDevices(ScanMode mode, int32_t listFlag, int32_t capacity, int32_t& count, DeviceDescriptor* buffer,
                     std::shared_ptr<IDevice>* foundDevice, std::unique_ptr<IDevice2>* foundBb2Device,
                     int32_t pciBus, int32_t pciSlot, int32_t typeNumber, int32_t typeIndex, int64_t serial,
                     const uint8_t* address, bool skipDriverCheck, bool includeVde, bool includeNic, bool vdeFlag);

/// Lists every port of every device into buffer[0..capacity); count receives the number of
/// ports. order 1 sorts the devices by serial first. VDAPI_E_INVALID_BUF for a null buffer
/// with a non-zero capacity; VDAPI_E_BUF_TOO_SMALL when more ports exist than fit (count holds
/// the number needed); VDAPI_E_DRIVER_INCOMP when a device's driver is too old (the others are
/// still listed); VDAPI_E_DEVICE when the device list itself overflowed; else VDAPI_OK.
VdResult ScanHwFunctions(int32_t capacity, int32_t& count, HwFunctionDescriptor* buffer, bool includeVde,
                         bool includeNic, int32_t order);

/// The link state of the machine's network adapter with this MAC address, read from the
/// system's adapter list now (never kept by a scan session). VDAPI_E_NOT_FOUND when no adapter
/// has that address; VDAPI_E_NW_DRIVER when the list cannot be read.
VdResult GetAdapterLinkState(const uint8_t (&mac)[6], AdapterLinkState& state);

} // namespace Vdapi
