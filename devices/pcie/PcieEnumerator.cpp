// Enumerators of the PCIe family and of the Bb2 family, which shares the PCIe request set.
#include "devices/FamilyScan.h"
#include "devices/DriverVersion.h"
#include "devices/pcie/PcieDevice.h"
#include "devices/platform/Xp.h"

namespace Vdapi {

namespace DP = DriverProtocol;

namespace {

/// Finds the first interface whose driver answers the version request.
template <class Proxy>
bool FindDriverVersion(DP::VersionRecord& version)
{
    Proxy proxy;
    for (int i = 0; i < kMaxDriverInterfaces; ++i)
        if (isSuccess(proxy.Open(i)) && isSuccess(proxy.GetVersion(version)))
            return true;
    return false;
}

/// Reads the version through `proxy` and compares it with `minimum`.
VdResult CheckVersion(VdPcieProxyCORE& proxy, const MinimumVersion& minimum)
{
    DP::VersionRecord version;
    const VdResult rc = proxy.GetVersion(version);
    if (!isSuccess(rc))
        return rc;
    return VersionAtLeast(version, minimum) ? VDAPI_OK : VDAPI_E_DRIVER_INCOMP;
}

} // namespace

VdResult EnumeratePcie(FamilyScan& scan)
{
    if (!scan.Begin(ScanMode::ByAddress))
        return VDAPI_E_NO_SUCH_DEVICE;

    DP::VersionRecord version;
    if (!FindDriverVersion<VdPcieProxyCORE>(version))
        return scan.NoDriver();
    if (!scan.skipDriverCheck && !VersionAtLeast(version, kPcieMinimumVersion)) {
        VDAPI_LOG(Warning, "PCIe driver %d.%d.%d.%d is older than %d.%d.%d", version.major, version.minor,
                  version.bugfix, version.build, kPcieMinimumVersion.major, kPcieMinimumVersion.minor,
                  kPcieMinimumVersion.bugfix);
        return VDAPI_E_DRIVER_INCOMP;
    }

    bool versionChecked = false;
    std::unique_ptr<VdPcieProxyCORE> proxy;
    for (int i = 0; i < kMaxDriverInterfaces; ++i) {
        // A proxy that did not open, or was not handed to a device, serves the next index.
        if (scan.Skips(ScanFamily::Pcie, i))
            continue;
        if (!proxy)
            proxy = std::make_unique<VdPcieProxyCORE>();
        if (!isSuccess(proxy->Open(i)))
            continue;
        if (scan.Targeted() && !scan.skipDriverCheck && !versionChecked) {
            const VdResult rc = CheckVersion(*proxy, kPcieMinimumVersion);
            if (!isSuccess(rc))
                return rc;
            versionChecked = true;
        }
        DP::DeviceInfoRecord info;
        if (!isSuccess(proxy->GetDeviceInfo(info)))
            continue;
        DeviceDescriptor identity;
        ApplyDeviceInfo(info, identity);
        scan.NoteFound(ScanFamily::Pcie, i, identity.serial);
        if (!scan.Matches(identity))
            continue;

        VdResult result = VDAPI_OK;
        if (scan.Adopt(std::make_shared<PcieDevice>(std::move(proxy)), VDAPI_OK, "PCIe", result))
            return result;
    }
    scan.NoteListed(ScanFamily::Pcie);
    return scan.Finish();
}

VdResult EnumerateBb2(FamilyScan& scan)
{
    scan.bb2List.clear();
    if (!scan.Begin(ScanMode::ByAddress))
        return VDAPI_E_NO_SUCH_DEVICE;

    VdBb2Dal probe;
    int first = -1;
    for (int i = 0; i < kMaxDriverInterfaces && first < 0; ++i)
        if (isSuccess(probe.Open(i)))
            first = i;
    if (first < 0)
        return scan.NoDriver();
    if (!scan.skipDriverCheck) {
        const VdResult rc = CheckVersion(probe, kBb2MinimumVersion);
        if (!isSuccess(rc))
            return rc;
    }
    probe.Close();

    for (int i = first; i < kMaxDriverInterfaces; ++i) {
        if (scan.Skips(ScanFamily::Bb2, i))
            continue;
        auto dal = std::make_unique<VdBb2Dal>();
        if (!isSuccess(dal->Open(i)))
            continue;
        DP::DeviceInfoRecord info;
        if (!isSuccess(dal->GetDeviceInfo(info)))
            continue;
        DeviceDescriptor identity;
        ApplyDeviceInfo(info, identity);
        scan.NoteFound(ScanFamily::Bb2, i, identity.serial);
        if (!scan.Matches(identity, /*slotMatchable=*/false))
            continue;
        auto device = std::make_unique<VdBb2Device>(std::move(dal));
        const VdResult rc = device->Initialize();
        if (!isSuccess(rc)) {
            VDAPI_LOG(Warning, "Bb2 device %lld at interface %d: initialisation failed: %s",
                      (long long)identity.serial, i, ResultName(rc));
            continue;
        }
        DeviceDescriptor descriptor;
        device->GetDescriptor(descriptor); // a failed count leaves the ports uncounted
        scan.bb2List.push_back(descriptor);
        scan.count = int32_t(scan.bb2List.size());
        if (scan.Targeted()) {
            if (scan.foundBb2Device)
                *scan.foundBb2Device = std::move(device);
            return VDAPI_OK;
        }
    }
    scan.NoteListed(ScanFamily::Bb2);
    if (scan.Targeted())
        return VDAPI_E_NO_SUCH_DEVICE;
    return scan.bb2List.empty() ? VDAPI_E_NO_DEVICE : VDAPI_OK;
}

} // namespace Vdapi
