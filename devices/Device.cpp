// Common device behaviour: initialisation from driver properties, typed lookups, descriptor.
#include "devices/Device.h"

#include "devices/CapabilityTable.h"
#include "devices/IoConfigTable.h"
#include "devices/ScanSession.h"
#include "devices/platform/Xp.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace Vdapi {

void ApplyDeviceInfo(const DriverProtocol::DeviceInfoRecord& info, DeviceDescriptor& identity)
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

Device::Device(int32_t category) : m_category(category) {}

VdResult Device::Lookup(std::string_view name, int port, uint64_t& value,
                        DriverProtocol::PropertyValueType valueType, int typeSelector, int subFunction,
                        int selector3, int selector4, int selector5)
{
    value = 0;
    if (name.size() > kMaxPropertyNameLength)
        return VDAPI_E_BUF_TOO_SMALL;
    if (!HasHardwareAccess() && !HasProxy())
        return VDAPI_E_NOT_SUPPORTED;
    PropertyQuery query;
    query.name = std::string(name);
    query.port = port;
    query.typeSelector = typeSelector;
    query.subFunction = subFunction;
    query.selector3 = selector3;
    query.selector4 = selector4;
    query.selector5 = selector5;
    query.valueType = valueType;
    uint64_t answer = 0;
    const VdResult rc = LookupProperty(query, answer);
    if (isSuccess(rc))
        value = answer;
    return rc;
}

VdResult Device::GetPropertyBool(std::string_view name, int port, bool& value, int typeSelector, int subFunction,
                                 int selector3, int selector4, int selector5)
{
    uint64_t raw = 0;
    const VdResult rc = Lookup(name, port, raw, DriverProtocol::kValueBool, typeSelector, subFunction, selector3,
                               selector4, selector5);
    value = (raw & 0xFF) != 0;
    return rc;
}

VdResult Device::GetPropertyInt32(std::string_view name, int port, int32_t& value, int typeSelector,
                                  int subFunction, int selector3, int selector4, int selector5)
{
    uint64_t raw = 0;
    const VdResult rc = Lookup(name, port, raw, DriverProtocol::kValueInt32, typeSelector, subFunction, selector3,
                               selector4, selector5);
    value = int32_t(uint32_t(raw));
    return rc;
}

VdResult Device::GetPropertyInt64(std::string_view name, int port, int64_t& value, int typeSelector,
                                  int subFunction, int selector3, int selector4, int selector5)
{
    uint64_t raw = 0;
    const VdResult rc = Lookup(name, port, raw, DriverProtocol::kValueInt64, typeSelector, subFunction, selector3,
                               selector4, selector5);
    value = int64_t(raw);
    return rc;
}

VdResult Device::GetPropertyUInt64(std::string_view name, int port, uint64_t& value, int typeSelector,
                                   int subFunction, int selector3, int selector4, int selector5)
{
    return Lookup(name, port, value, DriverProtocol::kValueUInt64, typeSelector, subFunction, selector3, selector4,
                  selector5);
}

VdResult Device::Initialize()
{
    if (!HasHardwareAccess() && !HasProxy())
        return VDAPI_E_NOT_SUPPORTED;

    m_identity = DeviceDescriptor();
    m_identity.category = m_category;
    m_identity.hardwareRevision = -1;
    m_identity.firmwareVersion = -1;
    m_identity.firmwareVariant = -1;
    m_identity.firmwareStatus = -1;
    m_portCount = 0;
    m_mainPortCount = 0;
    m_portCaps.clear();
    m_subPortMaps.clear();
    m_identityRead = false;

    VdResult rc = ReadIdentity(m_identity);
    if (!isSuccess(rc))
        return rc;
    m_identityRead = true;

    int32_t portCount = 0;
    rc = GetPropertyInt32("PORT_COUNT", -1, portCount);
    if (!isSuccess(rc))
        return rc;
    if (portCount < 0 || portCount > kMaxDevicePorts) {
        VDAPI_LOG(Error, "device %lld: PORT_COUNT %d is outside 0..%d", (long long)m_identity.serial, portCount,
                  kMaxDevicePorts);
        return VDAPI_E_INTERNAL;
    }
    int32_t mainPortCount = 0;
    if (!isSuccess(GetPropertyInt32("MAIN_PORT_COUNT", -1, mainPortCount)))
        mainPortCount = portCount;
    if (mainPortCount < 0 || mainPortCount > portCount) {
        // Main ports are a subset of all ports; a count beyond them would list ports without
        // capabilities.
        VDAPI_LOG(Warning, "device %lld: MAIN_PORT_COUNT %d exceeds PORT_COUNT %d, using %d",
                  (long long)m_identity.serial, mainPortCount, portCount, portCount);
        mainPortCount = portCount;
    }
    m_portCount = portCount;
    m_mainPortCount = mainPortCount;

    m_refClockHz = kDefaultRefClockHz;
    if (HasHardwareAccess()) {
        int64_t hz = 0;
        if (isSuccess(GetPropertyInt64("REF_CLK_FREQ", -1, hz)) && hz > 0)
            m_refClockHz = hz;
    }

    m_portCaps.assign(size_t(m_portCount), VdCaps());
    m_subPortMaps.assign(size_t(m_portCount), 0);
    for (int p = 0; p < m_portCount; ++p)
        LoadPort(p);
    m_identity.numHwFuncs = m_mainPortCount;
    m_identity.numPorts = m_mainPortCount;
    return VDAPI_OK;
}

// Two passes: top-level capabilities first, then the sub-values they make eligible, so a
// sub-value the driver reports for a port without its parent never enters the set.
// A port's sub-port map and its top-level capabilities do not depend on each other, nor do
// the sub-values of the second pass: each pass goes to the driver as one batch of look-ups.
void Device::LoadPort(int port)
{
    std::vector<PropertyQuery> queries;
    auto ask = [&](std::string name, DriverProtocol::PropertyValueType type) {
        PropertyQuery& query = queries.emplace_back();
        query.name = std::move(name);
        query.port = port;
        query.valueType = type;
    };
    std::vector<uint64_t> values;
    std::vector<VdResult> results;
    auto send = [&] {
        values.assign(queries.size(), 0);
        results.assign(queries.size(), VDAPI_OK);
        AskProperties(queries, values, results);
    };
    auto present = [&](size_t k) { return isSuccess(results[k]) && (values[k] & 0xFF) != 0; };

    ask("SUB_PORT_MAP", DriverProtocol::kValueUInt64);
    std::vector<int> asked;
    for (int i = 0; i < kCapabilityCount; ++i) {
        const CapabilityRow* row = CapabilityRowAt(i);
        if (row->topLevel && row->name[0] != '\0') {
            asked.push_back(i);
            ask(std::string("CAP_") + row->name, DriverProtocol::kValueBool);
        }
    }
    send();
    if (isSuccess(results[0]))
        m_subPortMaps[size_t(port)] = values[0];
    VdCaps caps;
    VdCaps eligible;
    for (size_t k = 0; k < asked.size(); ++k) {
        if (present(k + 1)) {
            caps |= VdCaps(asked[k]);
            eligible |= CapabilityRowAt(asked[k])->subValues;
        }
    }

    queries.clear();
    asked.clear();
    for (int i = 0; i < kCapabilityCount; ++i) {
        if (eligible.Has(i) && !caps.Has(i) && CapabilityName(i)[0] != '\0') {
            asked.push_back(i);
            ask(std::string("CAP_") + CapabilityName(i), DriverProtocol::kValueBool);
        }
    }
    if (!queries.empty())
        send();
    for (size_t k = 0; k < asked.size(); ++k) {
        if (present(k))
            caps |= VdCaps(asked[k]);
    }
    m_portCaps[size_t(port)] = caps;
}

VdCaps Device::PortCaps(int port) const
{
    if (port < 0 || size_t(port) >= m_portCaps.size())
        return VdCaps();
    return m_portCaps[size_t(port)];
}

uint64_t Device::SubPortMap(int port) const
{
    if (port < 0 || size_t(port) >= m_subPortMaps.size())
        return 0;
    return m_subPortMaps[size_t(port)];
}

VdResult Device::GetDescriptor(DeviceDescriptor& out)
{
    out = m_identity;
    out.category = m_category;
    out.numHwFuncs = m_mainPortCount;
    out.numPorts = m_mainPortCount;
    // The count asks the driver directly: it describes the hardware, whatever the firmware
    // status that port queries of the device object refuse.
    return CountInputsOutputs(
        m_mainPortCount, [this](int p) { return PortCaps(p); },
        [this](int p, IoDirValue& dir) {
            IoConfigRecord record;
            record.port = p + 1;
            record.group = kIoDir;
            const VdResult r = ReadIoConfig(record);
            dir = {record.value, record.subValue};
            return r;
        },
        out.numInputs, out.numOutputs);
}

VdResult Device::GetIoConfig(int port, int group, int& value, int& subValue, int64_t& par1, int64_t& par2)
{
    value = subValue = -1;
    par1 = par2 = -1;
    if (port < 1 || port > m_mainPortCount)
        return VDAPI_E_NO_SUCH_PORT;
    if (m_identity.firmwareStatus == kFirmwareObsolete)
        return VDAPI_E_OBSOLETE_FW;
    if (m_identity.firmwareStatus == kFirmwareTainted)
        return VDAPI_E_TAINTED_FW;
    const std::optional<VdCaps> groupCaps = IoConfigGroupCaps(group);
    if (!groupCaps)
        return VDAPI_E_INVALID_ARG;
    if ((PortCaps(port - 1) & *groupCaps).IsEmpty())
        return VDAPI_E_NOT_SUPPORTED;
    IoConfigRecord record;
    record.port = port;
    record.group = group;
    const VdResult rc = ReadIoConfig(record);
    if (!isSuccess(rc))
        return rc;
    value = record.value;
    subValue = record.subValue;
    par1 = record.par1;
    par2 = record.par2;
    return VDAPI_OK;
}

VdResult Device::ReadIdentity(DeviceDescriptor& identity)
{
    IDriverAccess* access = Access();
    if (!access)
        return VDAPI_E_NOT_SUPPORTED;
    DriverProtocol::DeviceInfoRecord info;
    const VdResult rc = access->GetDeviceInfo(info);
    if (isSuccess(rc))
        ApplyDeviceInfo(info, identity);
    return rc;
}

VdResult Device::LookupProperty(const PropertyQuery& query, uint64_t& value)
{
    VdResult rc = VDAPI_OK;
    AskProperties({&query, 1}, {&value, 1}, {&rc, 1});
    return rc;
}

void Device::AskProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                           std::span<VdResult> results)
{
    ScanSession* session = m_identityRead ? ScanSession::Current() : nullptr;
    if (session == nullptr) {
        LookupProperties(queries, values, results);
        return;
    }
    std::vector<size_t> missing;
    for (size_t i = 0; i < queries.size(); ++i)
        if (!session->FindProperty(m_identity, queries[i], values[i], results[i]))
            missing.push_back(i);
    if (missing.empty())
        return;
    std::vector<PropertyQuery> asked;
    asked.reserve(missing.size());
    for (size_t i : missing)
        asked.push_back(queries[i]);
    std::vector<uint64_t> answers(missing.size(), 0);
    std::vector<VdResult> answered(missing.size(), VDAPI_OK);
    LookupProperties(asked, answers, answered);
    for (size_t k = 0; k < missing.size(); ++k) {
        values[missing[k]] = answers[k];
        results[missing[k]] = answered[k];
        session->KeepProperty(m_identity, asked[k], answers[k], answered[k]);
    }
}

void Device::LookupProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                              std::span<VdResult> results)
{
    if (IDriverAccess* access = Access()) {
        access->GetProperties(queries, values, results);
        return;
    }
    std::fill(values.begin(), values.end(), 0);
    std::fill(results.begin(), results.end(), VDAPI_E_NOT_SUPPORTED);
}

VdResult Device::ReadIoConfigItem(DriverProtocol::IoConfigItem& item)
{
    IDriverAccess* access = Access();
    return access ? access->GetIoConfig(item) : VDAPI_E_NOT_SUPPORTED;
}

VdResult Device::ReadIoConfig(IoConfigRecord& record)
{
    DriverProtocol::IoConfigItem item;
    item.port = record.port - 1;
    item.group = IoConfigName(record.group);
    const VdResult rc = ReadIoConfigItem(item);
    if (!isSuccess(rc))
        return rc;
    // Names come back from the driver; one the table does not know reads as -1.
    record.value = IoConfigCode(item.value);
    record.subValue = IoConfigCode(item.subValue);
    if (!item.value.empty() && record.value < 0)
        VDAPI_LOG(Warning, "unknown I/O-configuration value \"%s\" for group %s", item.value.c_str(),
                  item.group.c_str());
    record.par1 = item.par1;
    record.par2 = item.par2;
    return VDAPI_OK;
}

VdResult Device::GetPortMac(int port, uint8_t (&mac)[6])
{
    if (port < 0 || port >= m_portCount)
        return VDAPI_E_NO_SUCH_PORT;
    IDriverAccess* access = Access();
    return access ? access->GetPortMac(port, mac) : VDAPI_E_NOT_SUPPORTED;
}

VdResult Device::ProbeExclusiveAccess(int port)
{
    std::unique_ptr<IExclusiveAccess> access;
    if (HasHardwareAccess()) {
        const VdResult rc = BindExclusiveAccess(port, DriverProtocol::kRoleReceive, access);
        return isSuccess(rc) ? access->Exclusive(kExclProbe) : rc;
    }
    if (!HasProxy())
        return VDAPI_E_NOT_SUPPORTED;
    const VdCaps caps = PortCaps(port);
    if (!caps.Has(kCapInput) && !caps.Has(kCapOutput))
        return VDAPI_OK;
    int value = -1, subValue = -1;
    int64_t par1 = -1, par2 = -1;
    const VdResult read = GetIoConfig(port + 1, kIoDir, value, subValue, par1, par2);
    if (!isSuccess(read))
        return read;
    const bool asiOrSdi = caps.Has(kCapAsi) || caps.Has(kCapSdi);
    DriverProtocol::BlockRole role;
    if (value == kIoInput && asiOrSdi)
        role = DriverProtocol::kRoleReceive;
    else if (value == kIoOutput && asiOrSdi)
        role = DriverProtocol::kRoleTransmit;
    else if (value == kIoInput && caps.Has(kCapDemod))
        role = DriverProtocol::kRoleDemod;
    else if (value == kIoOutput && caps.Has(kCapMod))
        role = DriverProtocol::kRoleMod;
    else
        return VDAPI_E_NOT_IMPLEMENTED;
    const VdResult bound = BindExclusiveAccess(port, role, access);
    return isSuccess(bound) ? access->Exclusive(kExclProbe) : bound;
}

} // namespace Vdapi
