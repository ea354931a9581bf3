// USB device: identity, properties and I/O configuration through the VduHal.
#include "devices/usb/VduDevice.h"

#include "devices/ExclusiveAccess.h"

#include <algorithm>

namespace Vdapi {

VdResult VduDevice::ReadIdentity(DeviceDescriptor& identity)
{
    if (!m_hal)
        return VDAPI_E_NOT_SUPPORTED;
    VduDeviceInfo info;
    VdResult rc = m_hal->GetDeviceInfo(info);
    if (!isSuccess(rc))
        return rc;
    int32_t subType = 0;
    rc = m_hal->GetSubType(subType);
    if (!isSuccess(rc))
        return rc;
    identity.deviceId = info.productId;
    identity.vendorId = info.vendorId;
    identity.usbAddress = int32_t(info.usbAddress);
    identity.typeNumber = int32_t(info.typeNumber);
    identity.hardwareRevision = int32_t(info.hardwareRevision);
    identity.firmwareVersion = int32_t(info.firmwareVersion);
    identity.firmwareVariant = int32_t(info.firmwareVariant);
    identity.serial = int64_t(info.serial);
    identity.subType = subType;
    return VDAPI_OK;
}

void VduDevice::LookupProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                                 std::span<VdResult> results)
{
    if (m_hal) {
        m_hal->GetProperties(queries, values, results);
        return;
    }
    std::fill(values.begin(), values.end(), 0);
    std::fill(results.begin(), results.end(), VDAPI_E_NOT_SUPPORTED);
}

VdResult VduDevice::BindExclusiveAccess(int port, DriverProtocol::BlockRole,
                                        std::unique_ptr<IExclusiveAccess>& out)
{
    out.reset();
    IXpDriver* driver = m_hal ? m_hal->Driver() : nullptr;
    if (!driver)
        return VDAPI_E_DEV_DRIVER;
    out = std::make_unique<LegacyPortAccess>(driver, port);
    return VDAPI_OK;
}

VdResult VduDevice::ReadIoConfigItem(DriverProtocol::IoConfigItem& item)
{
    return m_hal ? m_hal->GetIoConfig(item) : VDAPI_E_NOT_SUPPORTED;
}

} // namespace Vdapi
