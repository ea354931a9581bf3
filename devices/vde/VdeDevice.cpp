// Ethernet-attached device object and the family enumerator.
#include "devices/vde/VdeDevice.h"

#include "devices/IoConfigTable.h"
#include "devices/platform/Xp.h"
#include "devices/vde/VdeEnum.h"
#include "devices/vde/VdePortAccess.h"

#include <cstring>
#include <new>
#include <vector>

namespace Vdapi {

VdResult VdeDevice::ReadIdentity(DeviceDescriptor& identity)
{
    if (!m_hal)
        return VDAPI_E_NOT_SUPPORTED;
    ServiceProtocol::VdeListEntry entry;
    const VdResult rc = m_hal->GetDescriptor(entry);
    if (!isSuccess(rc))
        return rc;
    identity.serial = entry.serial;
    identity.typeNumber = entry.typeNumber;
    identity.firmwareVersion = entry.firmwareVersion;
    identity.firmwareVariant = entry.firmwareVariant;
    identity.hardwareRevision = 0;
    std::memcpy(identity.ipAddress, entry.ipAddress.data(), sizeof identity.ipAddress);
    std::memcpy(identity.macAddress, entry.macAddress.data(), sizeof identity.macAddress);
    return rc;
}

void VdeDevice::LookupProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                                 std::span<VdResult> results)
{
    // The device service answers one look-up per exchange.
    for (size_t i = 0; i < queries.size(); ++i) {
        values[i] = 0;
        results[i] = m_hal ? m_hal->GetProperty(queries[i], values[i]) : VDAPI_E_NOT_SUPPORTED;
    }
}

VdResult VdeDevice::GetStrProperty(std::string_view name, int port, char* buffer, size_t bufferSize,
                                   size_t& textLength)
{
    textLength = 0;
    if (!m_hal)
        return VDAPI_E_NOT_SUPPORTED;
    PropertyQuery query;
    query.name = std::string(name);
    query.port = port;
    return m_hal->GetStrProperty(query, buffer, bufferSize, textLength);
}

VdResult VdeDevice::ReadIoConfig(IoConfigRecord& record)
{
    if (!m_hal)
        return VDAPI_E_NOT_SUPPORTED;
    record.value = record.subValue = -1;
    record.par1 = record.par2 = -1;
    const int group = record.group;
    if (group == kIoDir)
        return m_hal->GetIoDirection(record.port, record.value, record.subValue, record.par1);
    if (group == kIoStd) {
        bool asi = false, demod = false;
        VdResult rc = GetPropertyBool("CAP_ASI", record.port - 1, asi);
        if (isSuccess(rc) && asi) {
            record.value = IoConfigCode("ASI");
            return rc;
        }
        if (!isSuccess(rc) && rc != VDAPI_E_NOT_FOUND)
            return rc;
        rc = GetPropertyBool("CAP_DEMOD", record.port - 1, demod);
        if (isSuccess(rc) && demod) {
            record.value = IoConfigCode("DEMOD");
            return rc;
        }
        if (!isSuccess(rc) && rc != VDAPI_E_NOT_FOUND)
            return rc;
        return VDAPI_E_NOT_SUPPORTED;
    }
    if (group == IoConfigCode("TSRATESEL")) {
        record.value = IoConfigCode("INTTSRATE");
        return VDAPI_OK;
    }
    if (group == IoConfigCode("FAILSAFE") || group == IoConfigCode("GENLOCKED") || group == IoConfigCode("GENREF")) {
        record.value = kIoFalse;
        return VDAPI_OK;
    }
    return VDAPI_E_NOT_SUPPORTED;
}

// An Ethernet-attached device's ports are demodulator ports of the device service: the service,
// not a driver, arbitrates them between applications, so both the probe of the availability
// check and a channel's claim go through the service's port commands on this device's own
// service connection. The direction rule stays the channel's: a bidirectional port's IODIR is
// read over the device's remote GetIoConfig before the probe is asked.
VdResult VdeDevice::BindExclusiveAccess(int port, DriverProtocol::BlockRole, std::unique_ptr<IExclusiveAccess>& out)
{
    if (!m_hal)
        return VDAPI_E_NOT_SUPPORTED;
    if (port < 0 || port >= NumPorts())
        return VDAPI_E_NO_SUCH_PORT;
    out = std::make_unique<VdePortAccess>(m_hal->ServiceClient(), m_hal->Ipv4(), Identity().serial, port);
    return VDAPI_OK;
}

VdResult VdeDevice::ProbeExclusiveAccess(int port)
{
    std::unique_ptr<IExclusiveAccess> access;
    const VdResult bound = BindExclusiveAccess(port, DriverProtocol::kRoleReceive, access);
    return isSuccess(bound) ? access->Exclusive(kExclProbe) : bound;
}

VdResult ScanVdeDevices(FamilyScan& scan)
{
    if (!scan.Begin(ScanMode::BySlot))
        return VDAPI_E_NO_SUCH_DEVICE;

    std::vector<ServiceProtocol::VdeListEntry> entries;
    try {
        entries.resize(VdeEnum::kMaxEntries);
    } catch (const std::bad_alloc&) {
        return VDAPI_E_OUT_OF_MEM;
    }
    int32_t listed = VdeEnum::kMaxEntries;
    const VdResult enumerated = VdeEnum::Enumerate(entries.data(), listed, scan.vdeFlag);
    if (!isSuccess(enumerated))
        return enumerated;
    if (listed <= 0)
        return scan.NoDriver();

    VdResult lastError = VDAPI_OK;
    for (int32_t i = 0; i < listed && i < VdeEnum::kMaxEntries; ++i) {
        const ServiceProtocol::VdeListEntry& entry = entries[size_t(i)];
        if (entry.opMode != 0 && scan.listFlag != 1)
            continue;
        bool passes = false;
        if (scan.mode == ScanMode::ByAddress) {
            passes = scan.address != nullptr && std::memcmp(scan.address, entry.ipAddress.data(), 4) == 0;
        } else {
            DeviceDescriptor identity;
            identity.serial = entry.serial;
            identity.typeNumber = entry.typeNumber;
            passes = scan.Matches(identity, false);
        }
        if (!passes)
            continue;

        auto hal = std::make_unique<VdeHal>();
        const VdResult opened = hal->Open(entry.ipAddress);
        if (!isSuccess(opened)) {
            VDAPI_LOG(Warning, "Ethernet device %lld at %u.%u.%u.%u not opened: %s", (long long)entry.serial,
                      entry.ipAddress[0], entry.ipAddress[1], entry.ipAddress[2], entry.ipAddress[3],
                      ResultName(opened));
            lastError = opened;
        } else {
            auto device = std::make_shared<VdeDevice>(std::move(hal));
            VdResult adopted = VDAPI_OK;
            if (scan.Adopt(device, VDAPI_OK, "Ethernet", adopted))
                return adopted;
            if (!isSuccess(adopted))
                lastError = adopted;
        }
        if (scan.Targeted())
            break;
    }
    if (scan.Targeted() && !isSuccess(lastError))
        return lastError;
    return scan.Finish();
}

} // namespace Vdapi
