// PCIe device: function blocks for channel claims and the network block's link speed.
#include "devices/pcie/PcieDevice.h"

#include "devices/ExclusiveAccess.h"

namespace Vdapi {

namespace DP = DriverProtocol;

VdResult PcieDevice::BindExclusiveAccess(int port, DP::BlockRole role, std::unique_ptr<IExclusiveAccess>& out)
{
    out.reset();
    if (!m_proxy || !m_proxy->IsOpen())
        return VDAPI_E_DEV_DRIVER;
    std::vector<DP::BlockId> ids;
    const VdResult rc = m_proxy->ListBlocks(port, role, ids);
    if (!isSuccess(rc))
        return rc;
    out = std::make_unique<FunctionBlockCollection>(m_proxy->Driver(), ids);
    return VDAPI_OK;
}

VdResult PcieDevice::GetLinkSpeedCode(int port, int32_t& code)
{
    code = -1;
    if (!m_proxy || !m_proxy->IsOpen())
        return VDAPI_E_DEV_DRIVER;
    std::vector<DP::BlockId> ids;
    const VdResult listed = m_proxy->ListBlocks(port, DP::kRoleNetwork, ids);
    if (!isSuccess(listed))
        return listed;
    if (ids.empty())
        return VDAPI_E_NOT_SUPPORTED;
    uint8_t header[DP::FunctionBlockHeader::kSize];
    DP::FunctionBlockHeader{ids.front().id1, ids.front().id2, DP::kCmdLinkSpeed}.encode(header);
    uint8_t reply[DP::kLinkSpeedReplySize];
    const VdResult rc = DriverCall(*m_proxy->Driver(), DP::kGetLinkSpeed, header, sizeof header, reply,
                                   sizeof reply, sizeof reply);
    if (isSuccess(rc))
        code = Wire::getI32(reply);
    return rc;
}

} // namespace Vdapi
