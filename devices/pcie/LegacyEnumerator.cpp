// Enumerator of the legacy PCI family: version by interface or by device name, then one
// device per card, grouping the card's PCI functions by their 64-bit device key.
#include "devices/FamilyScan.h"
#include "devices/DriverVersion.h"
#include "devices/pcie/PcieDevice.h"
#include "devices/pcie/VdaDevice.h"
#include "devices/platform/Xp.h"

#include <map>

namespace Vdapi {

namespace DP = DriverProtocol;

namespace {

bool FindLegacyVersion(DP::VersionRecord& version)
{
    VdaHal hal;
    for (int i = 0; i < kMaxDriverInterfaces; ++i)
        if (isSuccess(hal.Open(i)) && isSuccess(hal.GetVersion(version)))
            return true;
    for (int i = 0; i < kMaxDriverInterfaces; ++i)
        if (isSuccess(VdaHal::VersionByName(i, version)))
            return true;
    return false;
}

} // namespace

VdResult EnumerateLegacyPci(FamilyScan& scan)
{
    if (!scan.Begin(ScanMode::ByAddress))
        return VDAPI_E_NO_SUCH_DEVICE;

    DP::VersionRecord version;
    if (!FindLegacyVersion(version))
        return scan.NoDriver();
    if (!scan.skipDriverCheck && !VersionAtLeast(version, kLegacyMinimumVersion)) {
        VDAPI_LOG(Warning, "legacy PCI driver %d.%d.%d is older than %d.%d.%d", version.major, version.minor,
                  version.bugfix, kLegacyMinimumVersion.major, kLegacyMinimumVersion.minor,
                  kLegacyMinimumVersion.bugfix);
        return VDAPI_E_DRIVER_INCOMP;
    }

    // Open every function and group them by card, keeping the order cards first appear in.
    std::vector<uint64_t> keyOrder;
    std::map<uint64_t, std::vector<std::unique_ptr<VdaHal>>> cards;
    bool versionChecked = false;
    for (int i = 0; i < kMaxDriverInterfaces; ++i) {
        if (scan.Skips(ScanFamily::LegacyPci, i))
            continue;
        auto hal = std::make_unique<VdaHal>();
        if (!isSuccess(hal->Open(i)))
            continue;
        if (scan.Targeted() && !scan.skipDriverCheck && !versionChecked) {
            DP::VersionRecord own;
            const VdResult rc = hal->GetVersion(own);
            if (!isSuccess(rc))
                return rc;
            if (!VersionAtLeast(own, kLegacyMinimumVersion))
                return VDAPI_E_DRIVER_INCOMP;
            versionChecked = true;
        }
        if (!isSuccess(hal->ReadInfo()))
            continue;
        const uint64_t key = hal->Info().deviceKey;
        auto& functions = cards[key];
        if (functions.empty())
            keyOrder.push_back(key);
        functions.push_back(std::move(hal));
    }

    for (uint64_t key : keyOrder) {
        std::vector<std::unique_ptr<VdaHal>>& functions = cards[key];
        DeviceDescriptor identity;
        ApplyDeviceInfo(functions.front()->Info().info, identity);
        for (const std::unique_ptr<VdaHal>& function : functions)
            scan.NoteFound(ScanFamily::LegacyPci, function->Index(), identity.serial);
        if (!scan.Matches(identity))
            continue;

        std::unique_ptr<IVdaHal> hal;
        VdResult rc = VDAPI_OK;
        if (functions.size() == 1) {
            hal = std::move(functions.front());
        } else {
            auto multi = std::make_unique<VdaMultiHal>(std::move(functions));
            rc = multi->BuildPortMap();
            hal = std::move(multi);
        }
        VdResult result = VDAPI_OK;
        if (scan.Adopt(std::make_shared<VdaDevice>(std::move(hal)), rc, "legacy PCI", result))
            return result;
    }
    scan.NoteListed(ScanFamily::LegacyPci);
    return scan.Finish();
}

} // namespace Vdapi
