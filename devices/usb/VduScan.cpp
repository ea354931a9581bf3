// Enumerator of the USB family: one device per USB driver interface that answers its
// information record; a targeted search also checks the driver's version.
#include "devices/FamilyScan.h"
#include "devices/DriverVersion.h"
#include "devices/platform/Xp.h"
#include "devices/usb/VduDevice.h"

namespace Vdapi {

namespace {

/// Version check of a targeted search: the query's error, or VDAPI_E_DRIVER_INCOMP below 4.8.
VdResult CheckUsbDriver(VduHal& hal)
{
    DriverProtocol::VersionRecord v;
    const VdResult rc = hal.GetDriverVersion(v.major, v.minor, v.bugfix, v.build);
    if (!isSuccess(rc))
        return rc;
    if (!VersionAtLeast(v, kUsbMinimumVersion)) {
        VDAPI_LOG(Warning, "USB driver %d.%d.%d.%d is older than %d.%d", v.major, v.minor, v.bugfix, v.build,
                  kUsbMinimumVersion.major, kUsbMinimumVersion.minor);
        return VDAPI_E_DRIVER_INCOMP;
    }
    return VDAPI_OK;
}

} // namespace

VdResult ScanVduDevices(FamilyScan& scan)
{
    if (!scan.Begin(ScanMode::ByAddress))
        return VDAPI_E_NO_SUCH_DEVICE;

    std::unique_ptr<VduHal> hal;
    for (int i = 0; i < kMaxDriverInterfaces; ++i) {
        // A VduHal that did not open, or was not handed to a device, serves the next index.
        if (scan.Skips(ScanFamily::Usb, i))
            continue;
        if (!hal)
            hal = std::make_unique<VduHal>();
        if (!isSuccess(hal->Open(i, -1, 0)))
            continue;
        const VduDeviceInfo& info = hal->Info();
        DeviceDescriptor identity;
        identity.serial = int64_t(info.serial);
        identity.typeNumber = int32_t(info.typeNumber);
        scan.NoteFound(ScanFamily::Usb, i, identity.serial);
        if (!scan.Matches(identity, /*slotMatchable=*/false))
            continue;

        if (scan.Targeted() && !scan.skipDriverCheck) {
            const VdResult rc = CheckUsbDriver(*hal);
            if (!isSuccess(rc))
                return rc;
        }
        VdResult result = VDAPI_OK;
        if (scan.Adopt(std::make_shared<VduDevice>(std::move(hal)), VDAPI_OK, "USB", result))
            return result;
        if (scan.Targeted())
            return VDAPI_OK; // counted, nobody to hand it to
    }
    scan.NoteListed(ScanFamily::Usb);
    return scan.Finish();
}

} // namespace Vdapi
