// Enumerator of the network-adapter family: one device per usable adapter, then "Any local NIC".
#include "devices/FamilyScan.h"
#include "devices/nic/NicDevice.h"

#include <cstring>

namespace Vdapi {

namespace {

/// Most adapter positions one scan tries (the pseudo-adapter counts as one).
constexpr int kNicScanIndices = 50;

} // namespace

VdResult ScanNicDevices(FamilyScan& scan)
{
    if (!scan.Begin(ScanMode::BySlot))
        return VDAPI_E_NO_SUCH_DEVICE;

    std::unique_ptr<NicHal> hal;
    for (int i = 0; i < kNicScanIndices; ++i) {
        // A NicHal that did not open, or was not handed to a device, serves the next index.
        if (!hal)
            hal = std::make_unique<NicHal>();
        if (!isSuccess(hal->Open(i)))
            continue;
        NicInfo info;
        hal->GetNicInfo(info);

        bool passes = false;
        if (scan.mode == ScanMode::ByAddress) {
            passes = scan.address != nullptr && std::memcmp(info.ipv4Address, scan.address, 4) == 0;
        }
        else {
            DeviceDescriptor identity;
            identity.serial = int64_t(info.serial);
            identity.typeNumber = int32_t(info.typeNumber);
            passes = scan.Matches(identity);
        }
        if (!passes)
            continue;

        VdResult result = VDAPI_OK;
        if (scan.Adopt(std::make_shared<NicDevice>(std::move(hal)), VDAPI_OK, "network adapter", result))
            return result;
        if (scan.Targeted())
            return VDAPI_OK; // counted, nobody to hand it to
    }
    return scan.Finish();
}

} // namespace Vdapi
