// VdeDevice: an Ethernet-attached device object (category 3) over its VdeHal.
#pragma once

#include "devices/Device.h"
#include "devices/FamilyScan.h"
#include "devices/vde/VdeHal.h"

#include <memory>

namespace Vdapi {

class VdeDevice : public Device {
public:
    /// Takes over an opened hardware-access object (null gives a device that refuses
    /// initialisation).
    explicit VdeDevice(std::unique_ptr<VdeHal> hal) : Device(kCategoryVde), m_hal(std::move(hal)) {}

    VdeHal* Hal() { return m_hal.get(); }
    /// String property of the device or a port (0-based, -1 for the device) through the device
    /// service. VDAPI_E_NOT_SUPPORTED without a hardware-access object; VdeHal's errors.
    VdResult GetStrProperty(std::string_view name, int port, char* buffer, size_t bufferSize, size_t& textLength);

    /// The port (0-based) as the device service arbitrates it (VdePortAccess), whatever the
    /// role. VDAPI_E_NOT_SUPPORTED without a hardware-access object; VDAPI_E_NO_SUCH_PORT.
    VdResult BindExclusiveAccess(int port, DriverProtocol::BlockRole role,
                                 std::unique_ptr<IExclusiveAccess>& out) override;
    /// Probes the port through the device service: VDAPI_OK, VDAPI_E_IN_USE, or the service's
    /// error. Errors as BindExclusiveAccess.
    VdResult ProbeExclusiveAccess(int port) override;

protected:
    bool HasHardwareAccess() const override { return m_hal != nullptr; }
    VdResult ReadIdentity(DeviceDescriptor& identity) override;
    void LookupProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                          std::span<VdResult> results) override;
    VdResult ReadIoConfig(IoConfigRecord& record) override;

private:
    std::unique_ptr<VdeHal> m_hal;
};

/// Lists or finds Ethernet-attached devices for ScanDevices (the Ethernet family's enumerator).
VdResult ScanVdeDevices(FamilyScan& scan);

} // namespace Vdapi
