// Exclusive access to an Ethernet-attached device's port through the device service.
#include "devices/vde/VdePortAccess.h"

#include "devices/ExclusiveAccess.h"
#include "devices/platform/Xp.h"

namespace Vdapi {

VdResult VdePortResult(VdResult serviceResult, int32_t command)
{
    const bool heldByOther =
        serviceResult == VDAPI_E_IN_USE || serviceResult == VdResult(DriverProtocol::kErrHeldByOtherUser);
    return ExclusiveRequestResult(serviceResult, heldByOther ? DriverProtocol::kErrHeldByOtherUser : 0, command);
}

VdePortAccess::VdePortAccess(VdeSvcClient& service, const std::array<uint8_t, 4>& ipv4, int64_t serial, int port)
    : service_(service), ipv4_(ipv4), serial_(serial), portPlusOne_(port + 1)
{
}

VdePortAccess::~VdePortAccess()
{
    if (claim_)
        Release();
}

VdResult VdePortAccess::Open(uint32_t& handle)
{
    handle = 0;
    return service_.DemodAttach(ipv4_.data(), serial_, portPlusOne_, handle);
}

VdResult VdePortAccess::Close(uint32_t handle)
{
    const VdResult rc = service_.DemodDetach(serial_, portPlusOne_, handle);
    if (!isSuccess(rc))
        VDAPI_LOG(Warning, "device %lld port %d: closing service handle %u failed: %s", (long long)serial_,
                  portPlusOne_, handle, ResultName(rc));
    return rc;
}

VdResult VdePortAccess::Release()
{
    const uint32_t handle = *claim_;
    claim_.reset(); // the handle is closed below whatever the release answers
    VdResult rc = VdePortResult(service_.DemodAccessMode(serial_, portPlusOne_, handle, kExclRelease), kExclRelease);
    const VdResult closed = Close(handle);
    if (isSuccess(rc))
        rc = closed;
    return rc;
}

VdResult VdePortAccess::Exclusive(int32_t command)
{
    if (command == kExclRelease)
        return claim_ ? Release() : VDAPI_OK;
    if (command != kExclAcquire && command != kExclProbe)
        return VDAPI_E_NOT_SUPPORTED;
    if (command == kExclAcquire && claim_)
        return VDAPI_OK;
    uint32_t handle = 0;
    const VdResult opened = Open(handle);
    if (!isSuccess(opened))
        return VdePortResult(opened, command);
    const VdResult rc = VdePortResult(service_.DemodAccessMode(serial_, portPlusOne_, handle, command), command);
    if (command == kExclAcquire && isSuccess(rc)) {
        claim_ = handle;
        return rc;
    }
    const VdResult closed = Close(handle);
    return isSuccess(rc) ? closed : rc;
}

} // namespace Vdapi
