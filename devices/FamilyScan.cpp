// The part of a family enumeration every PCI-style family shares: adopting a matched device.
#include "devices/FamilyScan.h"

#include "devices/platform/Xp.h"

namespace Vdapi {

bool FamilyScan::Adopt(const std::shared_ptr<Device>& device, VdResult initResult, const char* family,
                       VdResult& result)
{
    VdResult rc = initResult;
    if (isSuccess(rc))
        rc = device->Initialize();
    if (!isSuccess(rc)) {
        VDAPI_LOG(Warning, "%s device %lld: initialisation failed: %s", family, (long long)device->Identity().serial,
                  ResultName(rc));
        result = rc;
        return Targeted(); // a targeted scan ends with the failure; a listing goes on
    }
    if (WritesDescriptors() && count < capacity) {
        const VdResult filled = device->GetDescriptor(cursor[count]);
        if (!isSuccess(filled))
            VDAPI_LOG(Warning, "%s device %lld: directions not counted: %s", family,
                      (long long)device->Identity().serial, ResultName(filled));
    }
    ++count;
    if (Targeted() && foundDevice) {
        *foundDevice = device;
        result = rc;
        return true;
    }
    return false;
}

} // namespace Vdapi
