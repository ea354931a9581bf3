// Hardware access of a USB device: one handle on the USB driver's device interface and the
// driver requests the scan and the device object need.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/DriverRequests.h"
#include "devices/platform/IXpDriver.h"
#include "devices/usb/UsbDriverProtocol.h"

#include <memory>
#include <span>

namespace Vdapi {

/// Device-information record of a USB device as the driver reports it.
using VduDeviceInfo = UsbDriverProtocol::UsbDeviceInfo;

class IVduHal {
public:
    virtual ~IVduHal() = default;
    /// Reads the device-information record; on failure the record is zeroed. VDAPI_E_DEV_DRIVER
    /// when not open, the driver's error, or VDAPI_E_COMMUNICATION for a short reply.
    virtual VdResult GetDeviceInfo(VduDeviceInfo& info) = 0;
};

class VduHal : public IVduHal {
public:
    /// What the properties of the port an Open was made for say; -1 / false when absent.
    struct PortProperties {
        int64_t registersTx = -1, registersRx = -1, registersMod = -1, registersRf = -1;
        bool dvbRaw10b = false, timestamp64 = false, sdiTime = false, txOnTime = false;
        int64_t loopBack32bTx = -1, loopBack32bRx = -1;
        bool supportsTxNull = false;
    };

    VduHal();
    ~VduHal() override;
    VduHal(const VduHal&) = delete;
    VduHal& operator=(const VduHal&) = delete;

    /// Closes, opens USB driver interface `index` and initialises for `port` (0-based, -1 the
    /// whole device): for a port its register blocks and capability flags, always the fan and
    /// temperature-sensor properties, then the device-information record. The interface open's
    /// error (VDAPI_E_NOT_FOUND, ...); a port property's error; the information read's error.
    VdResult Open(int index, int port, int flag);
    /// Closes the driver handle (releasing whatever it held). Harmless when closed.
    void Close();
    bool IsOpen() const;

    VdResult GetDeviceInfo(VduDeviceInfo& info) override;
    /// Driver version; all four read -1 on failure. VDAPI_E_DEV_DRIVER when not open, the
    /// driver's error, VDAPI_E_COMMUNICATION for a short reply.
    VdResult GetDriverVersion(int32_t& major, int32_t& minor, int32_t& bugfix, int32_t& build);
    /// Sub-type; 0 on failure. Errors as GetDriverVersion.
    VdResult GetSubType(int32_t& value);
    /// One property of the driver's store; value 0 on failure. VDAPI_E_BUF_TOO_SMALL for a name
    /// over 49 characters (nothing sent); VDAPI_E_DEV_DRIVER when not open; the driver's answer
    /// (VDAPI_E_NOT_FOUND for a property it does not know).
    VdResult GetProperty(const DriverProtocol::PropertyQuery& key, uint64_t& value);
    /// Several look-ups handed to the driver together; values[i] and results[i] as GetProperty
    /// gives them for keys[i].
    void GetProperties(std::span<const DriverProtocol::PropertyQuery> keys, std::span<uint64_t> values,
                       std::span<VdResult> results);
    /// Value and sub-value names and parameters of item.group on item.port (0-based). For IODIR
    /// a parameter naming a port comes back 1-based. VDAPI_E_INVALID_ARG for a group name that
    /// does not fit; VDAPI_E_DEV_DRIVER when not open; the driver's error.
    VdResult GetIoConfig(DriverProtocol::IoConfigItem& item);

    /// The open handle (exclusive access to ports goes through it), or null.
    IXpDriver* Driver() { return IsOpen() ? m_driver.get() : nullptr; }
    int Index() const { return m_index; }
    int Port() const { return m_port; }
    /// The device-information record read by the last successful Open.
    const VduDeviceInfo& Info() const { return m_info; }
    int32_t FanCount() const { return m_fanCount; }
    int32_t FanType() const { return m_fanType; }
    int32_t TempSensorCount() const { return m_tempSensorCount; }
    int32_t TempSensorType() const { return m_tempSensorType; }
    const PortProperties& OpenPortProperties() const { return m_portProperties; }

private:
    /// Typed look-up of the device's own property (type selector -1).
    VdResult Property(const char* name, int port, int64_t& value);
    /// Reads the open port's register blocks and capability flags.
    VdResult ReadPortProperties();

    std::unique_ptr<IXpDriver> m_driver;
    int m_index = -1;
    int m_port = -1;
    int m_flag = 0;
    VduDeviceInfo m_info;
    int32_t m_fanCount = 0;
    int32_t m_fanType = -1;
    int32_t m_tempSensorCount = 0;
    int32_t m_tempSensorType = -1;

    PortProperties m_portProperties;
};

} // namespace Vdapi
