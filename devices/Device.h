// Device: the common base of the family device objects: identity, driver-backed property
// lookups, port counts and port capability sets, loaded once at initialisation.
#pragma once

#include "devices/IDevice.h"
#include "devices/IDriverAccess.h"
#include "devices/DriverRequests.h"

#include <span>
#include <string_view>
#include <vector>

namespace Vdapi {

using DriverProtocol::PropertyQuery;

/// Longest property name a lookup accepts (the driver's field holds it plus a NUL).
inline constexpr size_t kMaxPropertyNameLength = DriverProtocol::kNameField - 1;
/// Most ports a device may announce; a larger PORT_COUNT is treated as a broken answer.
inline constexpr int32_t kMaxDevicePorts = 256;
/// Reference clock assumed for devices without a hardware-access object.
inline constexpr int64_t kDefaultRefClockHz = 54000000;

/// Copies the driver's information record into a descriptor's identity fields. A firmware
/// status outside 0..5 is stored as -1.
void ApplyDeviceInfo(const DriverProtocol::DeviceInfoRecord& info, DeviceDescriptor& identity);

class Device : public IDevice {
public:
    explicit Device(int32_t category);

    /// Learns identity, port counts, reference clock and port capability sets from the
    /// driver. VDAPI_E_NOT_SUPPORTED without any driver access; the identity read's error;
    /// PORT_COUNT's error; VDAPI_E_INTERNAL for a port count outside 0..kMaxDevicePorts.
    VdResult Initialize();

    // Typed property accessors. The output is 0/false before the lookup; the 64-bit answer is
    // truncated to the type (a bool is its lowest byte). VDAPI_E_BUF_TOO_SMALL for a name of
    // 50 characters or more (nothing sent); VDAPI_E_NOT_SUPPORTED without driver access;
    // VDAPI_E_DEV_DRIVER when the driver is not open; otherwise the driver's answer
    // (VDAPI_E_NOT_FOUND for an unknown property).
    VdResult GetPropertyBool(std::string_view name, int port, bool& value, int typeSelector = -1,
                             int subFunction = -1, int selector3 = 0, int selector4 = 0, int selector5 = -1);
    VdResult GetPropertyInt32(std::string_view name, int port, int32_t& value, int typeSelector = -1,
                              int subFunction = -1, int selector3 = 0, int selector4 = 0, int selector5 = -1);
    VdResult GetPropertyInt64(std::string_view name, int port, int64_t& value, int typeSelector = -1,
                              int subFunction = -1, int selector3 = 0, int selector4 = 0, int selector5 = -1);
    VdResult GetPropertyUInt64(std::string_view name, int port, uint64_t& value, int typeSelector = -1,
                               int subFunction = -1, int selector3 = 0, int selector4 = 0, int selector5 = -1);

    int32_t Category() const override { return m_category; }
    int32_t TypeNumber() const override { return m_identity.typeNumber; }
    int NumPorts() const override { return m_mainPortCount; }
    VdCaps PortCaps(int port) const override;
    VdResult GetDescriptor(DeviceDescriptor& out) override;
    VdResult GetIoConfig(int port, int group, int& value, int& subValue, int64_t& par1, int64_t& par2) override;
    VdResult GetPortMac(int port, uint8_t (&mac)[6]) override;
    /// Legacy/USB: the port's own probe request. PCIe: VDAPI_OK for a port that is neither
    /// input nor output; else the blocks of the configured direction (IODIR INPUT: receive or
    /// demodulator blocks; OUTPUT: transmit or modulator blocks) are probed together.
    /// VDAPI_E_NOT_SUPPORTED without driver access.
    VdResult ProbeExclusiveAccess(int port) override;

    /// All ports, main and others (PORT_COUNT).
    int PortCount() const { return m_portCount; }
    int64_t RefClockHz() const { return m_refClockHz; }
    /// SUB_PORT_MAP of port (0-based) as the driver answered it; 0 when it had none.
    uint64_t SubPortMap(int port) const;
    /// Identity as read from the driver (the descriptor fields the family fills).
    const DeviceDescriptor& Identity() const { return m_identity; }

protected:
    /// One I/O-configuration question: 1-based port and group code in, the rest answered.
    struct IoConfigRecord {
        int port = 0;
        int group = -1;
        int value = -1;
        int subValue = -1;
        int64_t par1 = -1;
        int64_t par2 = -1;
    };

    /// True when the device has a hardware-access object (legacy PCI, USB).
    virtual bool HasHardwareAccess() const { return false; }
    /// True when the device has a core function-block proxy (PCIe, Bb2).
    virtual bool HasProxy() const { return false; }
    /// The hardware-access object or proxy the three reads below go through; null when none.
    virtual IDriverAccess* Access() { return nullptr; }
    /// Reads the driver's device information into `identity` (family fields only).
    virtual VdResult ReadIdentity(DeviceDescriptor& identity);
    /// Answers one property lookup (name length already checked), through AskProperties.
    VdResult LookupProperty(const PropertyQuery& query, uint64_t& value);
    /// Answers independent lookups: from the open scan session where it kept them for this
    /// device's identity, the rest from the driver in one LookupProperties call (kept in the
    /// session afterwards, failures other than "not found" excepted).
    void AskProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                       std::span<VdResult> results);
    /// Sends independent lookups to the driver (name lengths already checked); values[i] and
    /// results[i] answer queries[i]. Through Access(), which hands them over together where
    /// its driver allows; VDAPI_E_NOT_SUPPORTED for each without it.
    virtual void LookupProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                                  std::span<VdResult> results);
    /// Reads one configuration record from the driver (by names, through ReadIoConfigItem).
    virtual VdResult ReadIoConfig(IoConfigRecord& record);
    /// Sends one name-based configuration question to the driver; VDAPI_E_NOT_SUPPORTED
    /// without driver access.
    virtual VdResult ReadIoConfigItem(DriverProtocol::IoConfigItem& item);

private:
    VdResult Lookup(std::string_view name, int port, uint64_t& value, DriverProtocol::PropertyValueType valueType,
                    int typeSelector, int subFunction, int selector3, int selector4, int selector5);
    /// Reads port's sub-port map and capability set (missing properties count as absent).
    void LoadPort(int port);

    int32_t m_category;
    DeviceDescriptor m_identity;
    bool m_identityRead = false; // m_identity holds the information record's answer
    int m_portCount = 0;
    int m_mainPortCount = 0;
    int64_t m_refClockHz = kDefaultRefClockHz;
    std::vector<VdCaps> m_portCaps;       // per port, PORT_COUNT entries
    std::vector<uint64_t> m_subPortMaps;  // per port, PORT_COUNT entries
};

} // namespace Vdapi
