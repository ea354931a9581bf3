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

void NicDevice::LookupProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                                 std::span<VdResult> results)
{
    // The adapter's own table answers at once; there is no driver to batch for.
    for (size_t i = 0; i < queries.size(); ++i) {
        int64_t answer = 0;
        results[i] = m_hal ? m_hal->GetProperty(queries[i].name, queries[i].port, queries[i].valueType, answer)
                           : VDAPI_E_NOT_SUPPORTED;
        values[i] = uint64_t(answer);
    }
}

VdResult NicDevice::ReadIoConfig(IoConfigRecord&)
{
    return VDAPI_E_NOT_SUPPORTED;
}

} // namespace Vdapi
