// PCIe device identity, properties and I/O configuration over the core-block proxy.
#include "devices/pcie/PcieDevice.h"

#include "devices/platform/Xp.h"

namespace Vdapi {

namespace DP = DriverProtocol;

void ApplyDeviceInfo(const DP::DeviceInfoRecord& info, DeviceDescriptor& identity)
{
    identity.typeNumber = info.typeNumber;
    identity.subType = info.subType;
    identity.serial = info.serial;
    identity.hardwareRevision = info.hardwareRevision;
    identity.firmwareVersion = info.firmwareVersion;
    identity.firmwareVariant = info.firmwareVariant;
    identity.firmwareStatus = (info.firmwareStatus >= 0 && info.firmwareStatus <= 5) ? info.firmwareStatus : -1;
    identity.infoBlock[0] = info.infoBlockWord;
    for (size_t i = 0; i < info.infoBlockBytes.size(); ++i)
        identity.infoBlock[i + 1] = info.infoBlockBytes[i];
    identity.vendorId = info.vendorId;
    identity.deviceId = info.deviceId;
    identity.subVendorId = info.subVendorId;
    identity.subsystemId = info.subsystemId;
    identity.pciBus = info.pciBus;
    identity.pciSlot = info.pciSlot;
    for (size_t i = 0; i < info.driverInfo.size(); ++i)
        identity.driverInfo[i] = info.driverInfo[i];
}

PcieDevice::PcieDevice(std::unique_ptr<VdPcieProxyCORE> proxy, int32_t category)
    : Device(category), m_proxy(std::move(proxy))
{
}

VdResult PcieDevice::ReadIdentity(DeviceDescriptor& identity)
{
    DP::DeviceInfoRecord info;
    const VdResult rc = m_proxy->GetDeviceInfo(info);
    if (isSuccess(rc))
        ApplyDeviceInfo(info, identity);
    return rc;
}

VdResult PcieDevice::LookupProperty(const PropertyQuery& query, uint64_t& value)
{
    return m_proxy->GetProperty(query, value);
}

VdResult PcieDevice::ReadIoConfig(IoConfigRecord& record)
{
    DriverProtocol::IoConfigItem item = IoItemFor(record);
    const VdResult rc = m_proxy->GetIoConfig(item);
    if (isSuccess(rc))
        ApplyIoItem(item, record);
    return rc;
}

} // namespace Vdapi
