// Legacy PCI device: per-port exclusive access and link speed through the access object.
#include "devices/pcie/VdaDevice.h"

#include "devices/ExclusiveAccess.h"
#include "devices/pcie/VdPcieProxyCORE.h"

namespace Vdapi {

namespace DP = DriverProtocol;

VdResult VdaDevice::BindExclusiveAccess(int port, DP::BlockRole, std::unique_ptr<IExclusiveAccess>& out)
{
    out.reset();
    int localPort = -1;
    IXpDriver* driver = m_hal ? m_hal->DriverForPort(port, localPort) : nullptr;
    if (!driver)
        return VDAPI_E_DEV_DRIVER;
    out = std::make_unique<LegacyPortAccess>(driver, localPort);
    return VDAPI_OK;
}

VdResult VdaDevice::GetLinkSpeedCode(int port, int32_t& code)
{
    code = -1;
    int localPort = -1;
    IXpDriver* driver = m_hal ? m_hal->DriverForPort(port, localPort) : nullptr;
    if (!driver)
        return VDAPI_E_DEV_DRIVER;
    uint8_t request[DP::kLegacyLinkSpeedRequestSize];
    Wire::putI32(request, localPort);
    uint8_t reply[DP::kLinkSpeedReplySize];
    const VdResult rc =
        DriverCall(*driver, DP::kLegacyGetLinkSpeed, request, sizeof request, reply, sizeof reply, sizeof reply);
    if (isSuccess(rc))
        code = Wire::getI32(reply);
    return rc;
}

} // namespace Vdapi
