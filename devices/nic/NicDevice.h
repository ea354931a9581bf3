// NicDevice: one of the machine's network adapters (or "Any local NIC") as a device of type 840
// with a single IP port, described by its adapter's identity and a fixed property table.
#pragma once

#include "devices/Device.h"
#include "devices/nic/NicHal.h"

#include <memory>

namespace Vdapi {

class NicDevice : public Device {
public:
    /// Takes over an opened NicHal (null gives a device that refuses initialisation).
    explicit NicDevice(std::unique_ptr<NicHal> hal) : Device(kCategoryNic), m_hal(std::move(hal)) {}

    NicHal* Hal() { return m_hal.get(); }
    /// Identity copied from the adapter at initialisation (zero before).
    const NicInfo& Info() const { return m_info; }

protected:
    bool HasHardwareAccess() const override { return m_hal != nullptr; }
    /// Identity from the adapter: type 840, sub-type, serial, IPv4, IPv6 and MAC addresses.
    VdResult ReadIdentity(DeviceDescriptor& identity) override;
    /// Answers from the fixed table, checking the accessor's value type.
    void LookupProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                          std::span<VdResult> results) override;
    /// An adapter has no I/O configuration: VDAPI_E_NOT_SUPPORTED.
    VdResult ReadIoConfig(IoConfigRecord& record) override;

private:
    std::unique_ptr<NicHal> m_hal;
    NicInfo m_info;
};

} // namespace Vdapi
