// VdaDevice: a legacy PCI card reached through its hardware-access object (one function or a
// multi-function card).
#pragma once

#include "devices/Device.h"
#include "devices/pcie/VdaHal.h"

#include <memory>

namespace Vdapi {

class VdaDevice : public Device {
public:
    /// Takes over the hardware-access object (null gives a device that refuses initialisation).
    explicit VdaDevice(std::unique_ptr<IVdaHal> hal) : Device(kCategoryPci), m_hal(std::move(hal)) {}

    IVdaHal* Hal() { return m_hal.get(); }

    /// The port's own exclusive-access request on the function serving it (role ignored).
    /// VDAPI_E_DEV_DRIVER when no open handle serves the port.
    VdResult BindExclusiveAccess(int port, DriverProtocol::BlockRole role,
                                 std::unique_ptr<IExclusiveAccess>& out) override;
    /// The access object's link-speed request for the port. VDAPI_E_DEV_DRIVER when no open
    /// handle serves it; VDAPI_E_COMMUNICATION for a short answer; the driver's error.
    VdResult GetLinkSpeedCode(int port, int32_t& code) override;

protected:
    bool HasHardwareAccess() const override { return m_hal != nullptr; }
    IDriverAccess* Access() override { return m_hal.get(); }

private:
    std::unique_ptr<IVdaHal> m_hal;
};

} // namespace Vdapi
