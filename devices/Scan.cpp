// ScanDevices runs the families in their fixed order; ScanHwFunctions lists every port.
#include "devices/Scan.h"

#include "devices/FamilyScan.h"
#include "devices/ScanSession.h"
#include "devices/VdDevice.h"
#include "devices/platform/Xp.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace Vdapi {

VdResult ScanDevices(ScanMode mode, int32_t listFlag, int32_t capacity, int32_t& count, DeviceDescriptor* buffer,
                     std::shared_ptr<IDevice>* foundDevice, std::unique_ptr<IDevice2>* foundBb2Device,
                     int32_t pciBus, int32_t pciSlot, int32_t typeNumber, int32_t typeIndex, int64_t serial,
                     const uint8_t* address, bool skipDriverCheck, bool includeVde, bool includeNic, bool vdeFlag)
{
    if (foundDevice)
        foundDevice->reset();
    if (foundBb2Device)
        foundBb2Device->reset();
    count = 0;

    struct Family {
        VdResult (*enumerate)(FamilyScan&);
        bool included;
        bool bb2;
    };
    const Family families[] = {
        {EnumerateLegacyPci, true, false}, {ScanVduDevices, true, false},       {EnumeratePcie, true, false},
        {EnumerateBb2, true, true},        {ScanNicDevices, includeNic, false}, {ScanVdeDevices, includeVde, false},
    };

    const bool targeted = mode != ScanMode::All;
    int32_t room = buffer ? std::max(capacity, 0) : 0;
    DeviceDescriptor* cursor = room > 0 ? buffer : nullptr;
    bool tooSmall = false;
    for (const Family& family : families) {
        if (!family.included)
            continue;
        FamilyScan scan;
        scan.mode = mode;
        scan.listFlag = listFlag;
        scan.capacity = room;
        scan.cursor = cursor;
        scan.foundDevice = foundDevice;
        scan.foundBb2Device = foundBb2Device;
        scan.pciBus = pciBus;
        scan.pciSlot = pciSlot;
        scan.typeNumber = typeNumber;
        scan.typeIndex = typeIndex;
        scan.serial = serial;
        scan.address = address;
        scan.skipDriverCheck = skipDriverCheck;
        scan.vdeFlag = vdeFlag;
        const VdResult rc = family.enumerate(scan);

        count += scan.count;
        if (mode == ScanMode::ByType)
            typeIndex -= scan.typePassed;
        if (targeted) {
            const bool found = (foundDevice && *foundDevice) || (foundBb2Device && *foundBb2Device) || scan.count > 0;
            if ((!isSuccess(rc) && rc != VDAPI_E_NO_SUCH_DEVICE) || found)
                return rc;
        }
        if (rc == VDAPI_E_BUF_TOO_SMALL)
            tooSmall = true;
        if (family.bb2 && cursor) {
            const size_t fit = std::min(scan.bb2List.size(), size_t(room));
            std::copy_n(scan.bb2List.begin(), fit, cursor);
        }
        if (scan.count < room) {
            cursor += scan.count;
            room -= scan.count;
        } else {
            room = 0;
            cursor = nullptr;
        }
    }
    if (!targeted)
        return tooSmall ? VDAPI_E_BUF_TOO_SMALL : VDAPI_OK;
    return count != 0 ? VDAPI_OK : VDAPI_E_NO_SUCH_DEVICE;
}

VdResult ScanHwFunctions(int32_t capacity, int32_t& count, HwFunctionDescriptor* buffer, bool includeVde,
                         bool includeNic, int32_t order)
{
    if (!buffer && capacity != 0)
        return VDAPI_E_INVALID_BUF;
    count = 0;
    // The listing and the attaches that follow it ask each device once; a caller's session
    // (one scan request) covers more and is used instead.
    std::optional<ScanSession> session;
    if (!ScanSession::InUse())
        session.emplace();

    std::vector<DeviceDescriptor> devices(kScanDeviceListSize);
    int32_t found = 0;
    const VdResult scanned = ScanDevices(ScanMode::All, 0, kScanDeviceListSize, found, devices.data(), nullptr,
                                         nullptr, 0, 0, 0, 0, 0, nullptr, false, includeVde, includeNic, false);
    if (!isSuccess(scanned))
        return scanned == VDAPI_E_BUF_TOO_SMALL ? VDAPI_E_DEVICE : scanned;
    devices.resize(size_t(std::clamp(found, 0, kScanDeviceListSize)));
    if (order == 1)
        std::sort(devices.begin(), devices.end(),
                  [](const DeviceDescriptor& a, const DeviceDescriptor& b) { return a.serial < b.serial; });

    VdResult overall = VDAPI_OK;
    int32_t room = buffer ? capacity : 0;
    for (const DeviceDescriptor& d : devices) {
        VdDeviceInt device;
        const VdResult attached = device.AttachBySerial(d.serial, false);
        if (attached == VDAPI_E_DRIVER_INCOMP)
            overall = VDAPI_E_DRIVER_INCOMP;
        if (!isSuccess(attached))
            continue;
        int32_t n = 0;
        // Past the end of the caller's buffer a device still counts its ports, writing nothing.
        HwFunctionDescriptor* cursor = room > 0 ? buffer + count : nullptr;
        const VdResult listed = device.ListPorts(std::max(room, 0), n, cursor);
        device.Detach();
        if (listed != VDAPI_OK && listed != VDAPI_E_BUF_TOO_SMALL)
            continue;
        count += n;
        room -= n;
        if (listed == VDAPI_E_BUF_TOO_SMALL && overall == VDAPI_OK)
            overall = VDAPI_E_BUF_TOO_SMALL;
    }
    return overall;
}

VdResult GetAdapterLinkState(const uint8_t (&mac)[6], AdapterLinkState& state)
{
    return Xp::Network().GetLinkState(mac, state);
}

} // namespace Vdapi
