// Interfaces of a family's device object as the device object (VdDevice) and channels use it.
#pragma once

#include "devices/DeviceDescriptor.h"
#include "devices/DriverRequests.h"
#include "devices/IExclusiveAccess.h"
#include "devices/VdCaps.h"
#include "devices/VdapiResult.h"

#include <cstdint>
#include <memory>

namespace Vdapi {

/// One device of any family. Shared by reference count between the VdDevice that attached it
/// and the channels opened on its ports. Used by one thread at a time.
class IDevice {
public:
    virtual ~IDevice() = default;

    /// Device family (DeviceCategory).
    virtual int32_t Category() const = 0;
    virtual int32_t TypeNumber() const = 0;
    /// Number of main ports (numHwFuncs).
    virtual int NumPorts() const = 0;
    /// Capability set of port (0-based); empty for a port outside the device.
    virtual VdCaps PortCaps(int port) const = 0;
    /// Fills the device's descriptor. Returns the error of an I/O-configuration read the
    /// input/output counting needed (the descriptor is filled all the same, with the ports
    /// counted before it), else VDAPI_OK.
    virtual VdResult GetDescriptor(DeviceDescriptor& out) = 0;
    /// Current configuration of group `group` on port (1-based). Outputs are -1 until
    /// answered. VDAPI_E_NO_SUCH_PORT, VDAPI_E_OBSOLETE_FW, VDAPI_E_TAINTED_FW,
    /// VDAPI_E_INVALID_ARG (not a group), VDAPI_E_NOT_SUPPORTED (port lacks the group), or the
    /// driver's error.
    virtual VdResult GetIoConfig(int port, int group, int& value, int& subValue, int64_t& par1,
                                 int64_t& par2) = 0;
    /// MAC address of an IP port (0-based) from the device's network function block.
    /// VDAPI_E_NOT_SUPPORTED where the family has no such block.
    virtual VdResult GetPortMac(int port, uint8_t (&mac)[6]) = 0;

    // ---- Port channels ----
    /// Binds what a channel claims on port (0-based) for `role`: a PCIe port's function blocks
    /// of that role (possibly none), or the port itself on a card with a hardware-access object
    /// (role ignored). The object talks through this device's driver handle, so the device
    /// must outlive it. VDAPI_E_NOT_SUPPORTED where the family has no exclusive access; the
    /// block listing's error.
    virtual VdResult BindExclusiveAccess(int port, DriverProtocol::BlockRole role,
                                         std::unique_ptr<IExclusiveAccess>& out)
    {
        (void)port, (void)role, (void)out;
        return VDAPI_E_NOT_SUPPORTED;
    }
    /// Asks the driver whether a channel could claim port (0-based) now, claiming nothing.
    /// VDAPI_OK, VDAPI_E_IN_USE, an I/O-configuration read error, VDAPI_E_NOT_IMPLEMENTED for
    /// a port direction that uses no known blocks, VDAPI_E_NOT_SUPPORTED for a family without
    /// exclusive access.
    virtual VdResult ProbeExclusiveAccess(int port)
    {
        (void)port;
        return VDAPI_E_NOT_SUPPORTED;
    }
    /// Raw link-speed code of an IP port (0-based) as the driver reports it.
    /// VDAPI_E_NOT_SUPPORTED where the family cannot tell; the driver's error.
    virtual VdResult GetLinkSpeedCode(int port, int32_t& code)
    {
        (void)port;
        code = -1;
        return VDAPI_E_NOT_SUPPORTED;
    }
    /// True when real attaches choose the Bb2-style channel variants on this device.
    virtual bool UsesBb2Channels() const { return false; }

protected:
    IDevice() = default;
    IDevice(const IDevice&) = delete;
    IDevice& operator=(const IDevice&) = delete;
};

/// A Bb2-family device is used through the same operations; the device object owns it
/// exclusively (std::unique_ptr<IDevice2>) and deletes it on detach.
using IDevice2 = IDevice;

} // namespace Vdapi
