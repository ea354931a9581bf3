// VduDevice: a USB device of ours, reached through its VduHal on the USB driver.
#pragma once

#include "devices/Device.h"
#include "devices/usb/VduHal.h"

#include <memory>

namespace Vdapi {

class VduDevice : public Device {
public:
    /// Takes over an open VduHal (null gives a device that refuses initialisation).
    explicit VduDevice(std::unique_ptr<VduHal> hal) : Device(kCategoryUsb), m_hal(std::move(hal)) {}

    VduHal* Hal() { return m_hal.get(); }

    /// The port's own exclusive-access request on the device's USB driver handle (role
    /// ignored). VDAPI_E_DEV_DRIVER when the handle is not open.
    VdResult BindExclusiveAccess(int port, DriverProtocol::BlockRole role,
                                 std::unique_ptr<IExclusiveAccess>& out) override;

protected:
    bool HasHardwareAccess() const override { return m_hal != nullptr; }
    /// Product and vendor id, USB address, type, revisions, serial and sub-type from the driver.
    /// The information read's or the sub-type read's error.
    VdResult ReadIdentity(DeviceDescriptor& identity) override;
    void LookupProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                          std::span<VdResult> results) override;
    VdResult ReadIoConfigItem(DriverProtocol::IoConfigItem& item) override;

private:
    std::unique_ptr<VduHal> m_hal;
};

} // namespace Vdapi
