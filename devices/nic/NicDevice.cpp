// Network-adapter device: identity and properties from its NicHal.
#include "devices/nic/NicDevice.h"

#include <cstring>

namespace Vdapi {

VdResult NicDevice::ReadIdentity(DeviceDescriptor& identity)
{
    if (!m_hal)
        return VDAPI_E_NOT_SUPPORTED;
    const VdResult rc = m_hal->GetNicInfo(m_info);
    if (!isSuccess(rc))
        return rc;
    identity.typeNumber = int32_t(m_info.typeNumber);
    identity.subType = int32_t(m_info.subType);
    identity.serial = int64_t(m_info.serial);
    std::memcpy(identity.ipAddress, m_info.ipv4Address, sizeof identity.ipAddress);
    std::memcpy(identity.ipV6Address, m_info.ipv6Addresses, sizeof identity.ipV6Address);
    std::memcpy(identity.macAddress, m_info.macAddress, sizeof identity.macAddress);
    return VDAPI_OK;
}

VdResult NicDevice::LookupProperty(const PropertyQuery& query, uint64_t& value)
{
    value = 0;
    if (!m_hal)
        return VDAPI_E_NOT_SUPPORTED;
    int64_t answer = 0;
    const VdResult rc = m_hal->GetProperty(query.name, query.port, query.valueType, answer);
    value = uint64_t(answer);
    return rc;
}

VdResult NicDevice::ReadIoConfig(IoConfigRecord&)
{
    return VDAPI_E_NOT_SUPPORTED;
}

} // namespace Vdapi
