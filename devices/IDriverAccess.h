// What a device object asks of its way to the driver: a PCIe core-block proxy or a legacy
// hardware-access object answer the same three questions.
#pragma once

#include <span>

#include "devices/VdapiResult.h"
#include "devices/DriverRequests.h"

namespace Vdapi {

class IDriverAccess {
public:
    virtual ~IDriverAccess() = default;
    /// The device's 104-byte information record. VDAPI_E_DEV_DRIVER when not open, else the
    /// driver's error or VDAPI_E_COMMUNICATION for a short reply.
    virtual VdResult GetDeviceInfo(DriverProtocol::DeviceInfoRecord& info) = 0;
    /// One property value (0 on failure). VDAPI_E_BUF_TOO_SMALL for a name over 49
    /// characters; VDAPI_E_DEV_DRIVER when not open; the driver's answer.
    virtual VdResult GetProperty(const DriverProtocol::PropertyQuery& query, uint64_t& value) = 0;
    /// Several independent property look-ups: values[i] and results[i] are what GetProperty
    /// gives for queries[i] (the spans have one size). This default asks one after the other;
    /// an access object whose driver takes request batches sends them together.
    virtual void GetProperties(std::span<const DriverProtocol::PropertyQuery> queries, std::span<uint64_t> values,
                               std::span<VdResult> results)
    {
        for (size_t i = 0; i < queries.size(); ++i)
            results[i] = GetProperty(queries[i], values[i]);
    }
    /// Value and sub-value names and parameters of item.group on item.port (0-based).
    virtual VdResult GetIoConfig(DriverProtocol::IoConfigItem& item) = 0;
    /// MAC address of port (0-based) from its network function block. VDAPI_E_NOT_SUPPORTED
    /// where the access object has no way to ask (the default); VDAPI_E_DEV_DRIVER when not
    /// open; VDAPI_E_NOT_FOUND when the port has no network block; the driver's error.
    virtual VdResult GetPortMac(int /*port*/, uint8_t (&/*mac*/)[6]) { return VDAPI_E_NOT_SUPPORTED; }
};

} // namespace Vdapi
