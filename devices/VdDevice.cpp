// Attach, detach and the port queries of the device object.
#include "devices/VdDevice.h"

#include "devices/CapabilityTable.h"
#include "devices/IoConfigTable.h"
#include "devices/platform/Xp.h"

#include <algorithm>
#include <cstring>

namespace Vdapi {

namespace {

constexpr int64_t kVdeSerialFirst = 3100000000LL;
constexpr int64_t kVdeSerialEnd = 3300000000LL;
constexpr int64_t kNicSerialFirst = 0x4000000000000000LL;
constexpr uint8_t kOwnMacPrefix[3] = {0x00, 0x14, 0xF4};

} // namespace

VdDevice::~VdDevice()
{
    if (IsAttached())
        Detach();
}

VdResult VdDevice::Detach()
{
    if (!IsAttached())
        return VDAPI_E_NOT_ATTACHED;
    m_ports.clear();
    m_ports.shrink_to_fit();
    m_impl.reset();
    m_bb2.reset();
    m_descriptor = DeviceDescriptor();
    return VDAPI_OK;
}

int32_t VdDevice::Category() const
{
    return IsAttached() ? Active()->Category() : -1;
}

int32_t VdDevice::TypeNumber() const
{
    return IsAttached() ? Active()->TypeNumber() : -1;
}

VdResult VdDevice::GetDescriptor(DeviceDescriptor& out) const
{
    if (!IsAttached())
        return VDAPI_E_NOT_ATTACHED;
    out = m_descriptor;
    return VDAPI_OK;
}

const HwFunctionDescriptor* VdDevice::CachedPort(int port) const
{
    if (!IsAttached() || port < 1 || size_t(port) > m_ports.size())
        return nullptr;
    return &m_ports[size_t(port) - 1];
}

VdResult VdDevice::Attach(const Target& t)
{
    if (IsAttached())
        return VDAPI_E_ATTACHED;
    int32_t count = 0;
    std::shared_ptr<IDevice> found;
    std::unique_ptr<IDevice2> foundBb2;
    const VdResult rc = ScanDevices(t.mode, t.listFlag, 0, count, nullptr, &found, &foundBb2, t.pciBus, t.pciSlot,
                                    t.typeNumber, t.typeIndex, t.serial, t.address, t.skipDriverCheck,
                                    t.includeVde, t.includeNic, false);
    if (rc == VDAPI_E_DRIVER_INCOMP)
        return rc;
    const bool accepted = t.mode == ScanMode::BySlot ? (rc == VDAPI_OK || rc == VDAPI_OK_PARTIAL_DEV) : isSuccess(rc);
    if (!accepted || (!found && !foundBb2))
        return VDAPI_E_NO_SUCH_DEVICE;
    m_impl = std::move(found);
    m_bb2 = std::move(foundBb2);

    DeviceDescriptor descriptor;
    Active()->GetDescriptor(descriptor); // a failed direction count keeps the rest
    m_descriptor = descriptor;
    // The cached list comes from the same listing the application gets.
    m_ports.assign(size_t(std::max(descriptor.numHwFuncs, 0)), HwFunctionDescriptor());
    int32_t listed = 0;
    ListPorts(int32_t(m_ports.size()), listed, m_ports.data());

    if (m_descriptor.firmwareStatus == kFirmwareObsolete)
        return VDAPI_OK_OBSOLETE_FW;
    if (m_descriptor.firmwareStatus == kFirmwareTainted)
        return VDAPI_OK_TAINTED_FW;
    return rc;
}

int32_t VdDevice::PortType(int port)
{
    if (!IsAttached() || port < 1 || port > Active()->NumPorts())
        return kChanUnknown;
    IDevice* device = Active();
    return ChanTypeOf(device->PortCaps(port - 1), port - 1, [device](int p, IoDirValue& dir) {
        int64_t par1 = -1, par2 = -1;
        return device->GetIoConfig(p + 1, kIoDir, dir.value, dir.subValue, par1, par2);
    });
}

VdResult VdDevice::ListPorts(int32_t capacity, int32_t& count, HwFunctionDescriptor* buffer)
{
    if (!IsAttached())
        return VDAPI_E_NOT_ATTACHED;
    count = 0;
    IDevice* device = Active();
    const bool bb2 = m_bb2 != nullptr;
    const int ports = device->NumPorts();
    const int32_t room = buffer ? capacity : 0;
    for (int p = 1; p <= ports; ++p) {
        const VdCaps caps = device->PortCaps(p - 1);
        if (bb2 && caps.Has(kCapIp))
            return VDAPI_E_NOT_IMPLEMENTED;
        ++count;
        if (count > room)
            continue;
        HwFunctionDescriptor& record = buffer[count - 1];
        record = HwFunctionDescriptor();
        const VdResult rc = GetDescriptor(record.device);
        if (!isSuccess(rc))
            return rc;
        record.port = p;
        record.chanType = PortType(p);
        record.caps = caps;
        if (caps.Has(kCapIp)) {
            uint8_t mac[6] = {};
            if (isSuccess(device->GetPortMac(p - 1, mac))) {
                std::memcpy(record.macAddress, mac, sizeof mac);
                std::memcpy(record.ipAddress, record.device.ipAddress, sizeof record.ipAddress);
                std::memcpy(record.ipV6Address[0], record.device.ipV6Address[0], sizeof record.ipV6Address[0]);
                if (std::memcmp(mac, kOwnMacPrefix, sizeof kOwnMacPrefix) == 0) {
                    // A port of ours that is a host adapter: take the host's addresses for it.
                    uint8_t address[16] = {};
                    if (isSuccess(Xp::Network().GetAdapterAddress(mac, AdapterAddressKind::Ipv4, address)))
                        std::memcpy(record.ipAddress, address, sizeof record.ipAddress);
                    int slot = 0;
                    for (AdapterAddressKind kind : {AdapterAddressKind::Ipv6First, AdapterAddressKind::Ipv6Second,
                                                    AdapterAddressKind::Ipv6Third})
                        if (isSuccess(Xp::Network().GetAdapterAddress(mac, kind, address)))
                            std::memcpy(record.ipV6Address[slot++], address, sizeof address);
                }
            }
        }
    }
    // Rank inputs and outputs among the records written.
    int32_t inputs = 0, outputs = 0;
    for (int32_t i = 0; i < std::min(count, room); ++i) {
        HwFunctionDescriptor& record = buffer[i];
        record.indexOnDevice = record.chanType == kChanInput ? inputs++ : record.chanType == kChanOutput ? outputs++ : -1;
    }
    return count > room ? VDAPI_E_BUF_TOO_SMALL : VDAPI_OK;
}

VdResult VdDevice::GetIoConfig(int port, int group, int& value, int& subValue, int64_t& par1, int64_t& par2)
{
    if (!IsAttached())
        return VDAPI_E_NOT_ATTACHED;
    value = subValue = -1;
    par1 = par2 = -1;
    if (port < 1 || port > Active()->NumPorts())
        return VDAPI_E_NO_SUCH_PORT;
    return Active()->GetIoConfig(port, group, value, subValue, par1, par2);
}

int32_t LinkSpeedFromDriverCode(int32_t code)
{
    if (code >= 0 && code <= 5)
        return code + 1;
    if (code == 7 || code == 8)
        return code;
    return 0; // 6 and anything unknown: no link
}

VdResult VdDevice::GetLinkSpeed(int port, uint8_t& flag, int32_t& speed)
{
    if (!IsAttached())
        return VDAPI_E_NOT_ATTACHED;
    if (m_bb2)
        return VDAPI_E_NOT_SUPPORTED;
    if (m_descriptor.firmwareStatus == kFirmwareObsolete)
        return VDAPI_E_OBSOLETE_FW;
    if (m_descriptor.firmwareStatus == kFirmwareTainted)
        return VDAPI_E_TAINTED_FW;
    if (port < 1 || port > m_impl->NumPorts())
        return VDAPI_E_NO_SUCH_PORT;
    if (!m_impl->PortCaps(port - 1).Has(kCapIp))
        return VDAPI_E_INVALID_TSTYPE;
    if (m_impl->Category() != kCategoryPci)
        return VDAPI_E_NOT_SUPPORTED;
    int32_t code = -1;
    const VdResult rc = m_impl->GetLinkSpeedCode(port - 1, code);
    if (!isSuccess(rc))
        return rc;
    flag = 0;
    speed = LinkSpeedFromDriverCode(code);
    return rc;
}

VdResult VdDeviceInt::AttachBySerial(int64_t serial, bool skipDriverCheck)
{
    Target t;
    t.mode = ScanMode::BySerial;
    t.serial = serial;
    t.skipDriverCheck = skipDriverCheck;
    t.includeVde = (serial >= kVdeSerialFirst && serial < kVdeSerialEnd) || serial == -1;
    t.includeNic = serial >= kNicSerialFirst;
    return Attach(t);
}

VdResult VdDeviceInt::AttachBySlot(int32_t pciBus, int32_t pciSlot, bool skipDriverCheck)
{
    Target t;
    t.mode = ScanMode::BySlot;
    t.listFlag = 0;
    t.pciBus = pciBus;
    t.pciSlot = pciSlot;
    t.skipDriverCheck = skipDriverCheck;
    return Attach(t);
}

VdResult VdDeviceInt::AttachByType(int32_t typeNumber, int32_t index, bool skipDriverCheck)
{
    Target t;
    t.mode = ScanMode::ByType;
    t.typeNumber = typeNumber;
    t.typeIndex = index;
    t.skipDriverCheck = skipDriverCheck;
    t.includeVde = typeNumber >= 3100 && typeNumber <= 3299;
    t.includeNic = typeNumber == 840;
    return Attach(t);
}

VdResult VdDeviceInt::AttachByAddress(const uint8_t* address)
{
    Target t;
    t.mode = ScanMode::ByAddress;
    t.address = address;
    t.skipDriverCheck = true;
    t.includeVde = true;
    t.includeNic = true;
    return Attach(t);
}

} // namespace Vdapi
