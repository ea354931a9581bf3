// Records of the scan: DeviceDescriptor (one device) and HwFunctionDescriptor (one port).
#pragma once

#include "devices/VdCaps.h"
#include "devices/VdapiResult.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace Vdapi {

/// Device family as reported in DeviceDescriptor::category.
enum DeviceCategory : int32_t {
    kCategoryPci = 0,  ///< PCI or PCIe card
    kCategoryUsb = 1,
    kCategoryVde = 3,  ///< Ethernet-attached device
    kCategoryNic = 4,  ///< network adapter
};

/// Firmware status values that change what the layer allows.
inline constexpr int32_t kFirmwareTainted = 4;
inline constexpr int32_t kFirmwareObsolete = 5;

struct DeviceDescriptor {
    static constexpr int kInfoBlockWords = 5;
    static constexpr int kDriverInfoWords = 7;

    // Every field starts at zero: a record is never handed out with stale memory in it.
    int32_t category = 0;
    int64_t serial = 0;
    int32_t pciBus = 0;
    int32_t pciSlot = 0;
    int32_t usbAddress = 0;
    int32_t typeNumber = 0;
    int32_t subType = 0;
    int32_t deviceId = 0;
    int32_t vendorId = 0;
    int32_t subsystemId = 0;
    int32_t subVendorId = 0;
    int32_t numHwFuncs = 0;        ///< main ports
    int32_t hardwareRevision = 0;  ///< -1 until known
    int32_t firmwareVersion = 0;   ///< -1 until known
    int32_t firmwareVariant = 0;   ///< -1 until known
    int32_t firmwareStatus = 0;    ///< -1 when not reported, else 0..5
    int32_t infoBlock[kInfoBlockWords] = {};
    int32_t numInputs = 0;
    int32_t numOutputs = 0;
    int32_t numPorts = 0;          ///< same as numHwFuncs
    uint8_t ipAddress[4] = {};
    uint8_t ipV6Address[3][16] = {};
    uint8_t macAddress[6] = {};
    int32_t driverInfo[kDriverInfoWords] = {};
};

/// Port direction flags in HwFunctionDescriptor::chanType.
enum ChanType : int32_t {
    kChanUnknown = -1,
    kChanNone = 0,
    kChanInput = 1,
    kChanOutput = 2,
    kChanIp = 3,
    kChanDblBufOutput = 4,
    kChanLoopThrOutput = 8,
};

struct HwFunctionDescriptor {
    DeviceDescriptor device;
    int32_t chanType = 0;
    VdCaps caps;
    int32_t indexOnDevice = 0;  ///< rank among the device's ports of the same chanType 1 or 2, else -1
    int32_t port = 0;           ///< 1-based
    uint8_t ipAddress[4] = {};
    uint8_t ipV6Address[3][16] = {};
    uint8_t macAddress[6] = {};
};

/// Value and sub-value of a port's IODIR configuration, as codes of the I/O-configuration table.
struct IoDirValue {
    int value = -1;
    int subValue = -1;
};

/// Reads port p's (0-based) IODIR configuration; returns a result code and fills the value.
using IoDirReader = std::function<VdResult(int port, IoDirValue& out)>;

/// Counts the inputs and outputs among `portCount` ports whose capability sets `capsOf` gives:
/// a port with only input (or only output) counts once, an IP port counts both ways, any other
/// port counts by its IODIR configuration. Returns the first failing read's code, else VDAPI_OK.
VdResult CountInputsOutputs(int portCount, const std::function<VdCaps(int port)>& capsOf,
                            const IoDirReader& readIoDir, int32_t& numInputs, int32_t& numOutputs);

/// Port direction from its capability set, reading IODIR only when the set leaves it open.
/// Returns kChanUnknown when that read fails.
int32_t ChanTypeOf(const VdCaps& caps, int port, const IoDirReader& readIoDir);

} // namespace Vdapi
