// PcieDevice: a PCIe card reached through the proxy of its driver's core function block; also
// the base of the Bb2 family's device, which speaks the same requests on its own driver class.
#pragma once

#include "devices/Device.h"
#include "devices/pcie/VdPcieProxyCORE.h"

#include <memory>

namespace Vdapi {

class PcieDevice : public Device {
public:
    /// Takes over an open proxy (null gives a device that refuses initialisation).
    explicit PcieDevice(std::unique_ptr<VdPcieProxyCORE> proxy, int32_t category = kCategoryPci)
        : Device(category), m_proxy(std::move(proxy))
    {
    }

    VdPcieProxyCORE* Proxy() { return m_proxy.get(); }

    /// The port's blocks of `role` (an empty collection when the port has none).
    /// VDAPI_E_DEV_DRIVER without an open proxy; the listing's error.
    VdResult BindExclusiveAccess(int port, DriverProtocol::BlockRole role,
                                 std::unique_ptr<IExclusiveAccess>& out) override;
    /// Asks the port's network block. VDAPI_E_NOT_SUPPORTED for a port without one;
    /// VDAPI_E_COMMUNICATION for a short answer; the driver's error.
    VdResult GetLinkSpeedCode(int port, int32_t& code) override;

protected:
    bool HasProxy() const override { return m_proxy != nullptr; }
    IDriverAccess* Access() override { return m_proxy.get(); }

private:
    std::unique_ptr<VdPcieProxyCORE> m_proxy;
};

/// Driver-access object of a Bb2-family device: the core-block proxy on the Bb2 class.
class VdBb2Dal : public VdPcieProxyCORE {
public:
    VdBb2Dal() : VdPcieProxyCORE(DriverClass::Bb2) {}
};

/// A Bb2-family device. Its category is the one its own descriptor holds.
class VdBb2Device : public PcieDevice {
public:
    explicit VdBb2Device(std::unique_ptr<VdBb2Dal> dal) : PcieDevice(std::move(dal), kCategoryPci) {}

    /// Bb2 channels claim through their own driver handle, never through this device's.
    bool UsesBb2Channels() const override { return true; }
};

} // namespace Vdapi
