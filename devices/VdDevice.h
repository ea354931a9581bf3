// VdDevice: the application's handle on one device, attached by a targeted scan; VdDeviceInt
// adds the attach operations.
#pragma once

#include "devices/DeviceDescriptor.h"
#include "devices/IDevice.h"
#include "devices/Scan.h"
#include "devices/VdapiResult.h"

#include <memory>
#include <vector>

namespace Vdapi {

/// Link-speed code for a driver's raw code: 0..5 give 1..6, 7 and 8 stay, the rest give 0.
int32_t LinkSpeedFromDriverCode(int32_t code);

/// Used by one thread at a time. Attached exactly while it holds a family device object.
class VdDevice {
public:
    VdDevice() = default;
    /// Detaches first when attached.
    virtual ~VdDevice();
    VdDevice(const VdDevice&) = delete;
    VdDevice& operator=(const VdDevice&) = delete;

    /// Releases the device. VDAPI_E_NOT_ATTACHED when not attached.
    VdResult Detach();
    bool IsAttached() const { return m_impl != nullptr || m_bb2 != nullptr; }
    /// Family category, or -1 when not attached.
    int32_t Category() const;
    /// Type number, or -1 when not attached.
    int32_t TypeNumber() const;
    /// The attached device's descriptor as cached at attach. VDAPI_E_NOT_ATTACHED.
    VdResult GetDescriptor(DeviceDescriptor& out) const;
    /// chanType of port (1-based); -1 for an invalid port or when not attached.
    int32_t PortType(int port);
    /// Lists the device's ports (two-call protocol). VDAPI_E_NOT_ATTACHED;
    /// VDAPI_E_BUF_TOO_SMALL when more ports exist than capacity (count holds them all);
    /// the descriptor query's error; VDAPI_E_NOT_IMPLEMENTED for a Bb2 device with an IP port.
    VdResult ListPorts(int32_t capacity, int32_t& count, HwFunctionDescriptor* buffer);
    /// Configuration of `group` on port (1-based); outputs -1 until answered.
    /// VDAPI_E_NOT_ATTACHED, VDAPI_E_NO_SUCH_PORT, or the family's answer (IDevice::GetIoConfig).
    VdResult GetIoConfig(int port, int group, int& value, int& subValue, int64_t& par1, int64_t& par2);

    /// Link of an IP port (1-based): on success flag is 0 and speed holds the speed code (1..6
    /// for driver codes 0..5, 7 and 8 as themselves, 0 for no link); both stay untouched on
    /// failure. VDAPI_E_NOT_ATTACHED; VDAPI_E_NOT_SUPPORTED for a Bb2 device or a device
    /// that is not of the PCI kind; VDAPI_E_OBSOLETE_FW / VDAPI_E_TAINTED_FW;
    /// VDAPI_E_NO_SUCH_PORT; VDAPI_E_INVALID_TSTYPE for a port without IP; the family's error.
    VdResult GetLinkSpeed(int port, uint8_t& flag, int32_t& speed);

    /// Cached record of port (1-based), or null; channels copy it when they attach.
    const HwFunctionDescriptor* CachedPort(int port) const;
    /// The family device object: shared with channels; null for a Bb2 device or when detached.
    std::shared_ptr<IDevice> Implementation() const { return m_impl; }
    /// The attached Bb2-family device (owned by this object), or null.
    IDevice2* Bb2Device() const { return m_bb2.get(); }

protected:
    struct Target {
        ScanMode mode = ScanMode::BySerial;
        int32_t listFlag = 1;
        int32_t pciBus = 0, pciSlot = 0, typeNumber = 0, typeIndex = 0;
        int64_t serial = 0;
        const uint8_t* address = nullptr;
        bool skipDriverCheck = false;
        bool includeVde = false;
        bool includeNic = false;
    };
    /// Runs the targeted scan, maps its errors, caches descriptor and port list.
    VdResult Attach(const Target& target);

private:
    IDevice* Active() const { return m_impl ? m_impl.get() : m_bb2.get(); }

    DeviceDescriptor m_descriptor;
    std::vector<HwFunctionDescriptor> m_ports;  // numHwFuncs records, filled at attach
    std::shared_ptr<IDevice> m_impl;            // family device object, shared with channels
    std::unique_ptr<IDevice2> m_bb2;            // Bb2 device, owned exclusively
};

class VdDeviceInt : public VdDevice {
public:
    /// Attaches the device with this serial. VDAPI_E_ATTACHED when already attached;
    /// VDAPI_E_DRIVER_INCOMP for an outdated driver; VDAPI_E_NO_SUCH_DEVICE for any other
    /// failure. Success is VDAPI_OK, or VDAPI_OK_TAINTED_FW / VDAPI_OK_OBSOLETE_FW.
    VdResult AttachBySerial(int64_t serial, bool skipDriverCheck = false);
    /// Attaches the PCI device at bus/slot; as AttachBySerial, VDAPI_OK_PARTIAL_DEV also succeeds.
    VdResult AttachBySlot(int32_t pciBus, int32_t pciSlot, bool skipDriverCheck = false);
    /// Attaches the index-th (0-based) device of a type, counted across families.
    VdResult AttachByType(int32_t typeNumber, int32_t index, bool skipDriverCheck = false);
    /// Attaches the network device whose IPv4 address is address[0..3].
    VdResult AttachByAddress(const uint8_t* address);
};

} // namespace Vdapi
