// Legacy PCI device identity, properties and I/O configuration over its hardware-access object.
#include "devices/pcie/VdaDevice.h"

#include "devices/pcie/PcieDevice.h"

namespace Vdapi {

VdaDevice::VdaDevice(std::unique_ptr<IVdaHal> hal) : Device(kCategoryPci), m_hal(std::move(hal)) {}

VdResult VdaDevice::ReadIdentity(DeviceDescriptor& identity)
{
    const VdResult rc = m_hal->ReadInfo();
    if (isSuccess(rc))
        ApplyDeviceInfo(m_hal->Info().info, identity);
    return rc;
}

VdResult VdaDevice::LookupProperty(const PropertyQuery& query, uint64_t& value)
{
    return m_hal->GetProperty(query, value);
}

VdResult VdaDevice::ReadIoConfig(IoConfigRecord& record)
{
    DriverProtocol::IoConfigItem item = IoItemFor(record);
    const VdResult rc = m_hal->GetIoConfig(item);
    if (isSuccess(rc))
        ApplyIoItem(item, record);
    return rc;
}

} // namespace Vdapi
