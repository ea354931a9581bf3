// Hardware access of one Ethernet-attached device: attached over its remote-call service,
// properties looked up through the device service, port I/O configuration from the device.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/DriverRequests.h"
#include "devices/vde/ServiceProtocol.h"
#include "devices/vde/VdDeviceRpc.h"
#include "devices/vde/VdeSvcClient.h"

#include <array>
#include <cstdint>
#include <string>

namespace Vdapi {

/// Translates a result code a device sent: 0, 1 and the device-layer codes it may report stay;
/// 4128 becomes VDAPI_E_INVALID_ROLLOFF; everything else becomes VDAPI_E_INTERNAL.
VdResult TranslateDeviceResult(uint64_t deviceResult);

/// What the scan asks of an Ethernet-attached device's hardware access.
class IVdeHal {
public:
    virtual ~IVdeHal() = default;
    /// Connects to the device service and attaches to the device at ipv4. The service's error
    /// (VDAPI_E_CONNECT_TO_SERVICE, VDAPI_E_SERVICE_INCOMP, ...); VDAPI_E_COMMUNICATION for a
    /// failed exchange; the device's own refusal; GetDescriptor's error (detached again).
    virtual VdResult Open(const std::array<uint8_t, 4>& ipv4) = 0;
    /// The device's identity. VDAPI_E_COMMUNICATION for a failed exchange, else the device's
    /// translated result (the entry filled from its answer).
    virtual VdResult GetDescriptor(ServiceProtocol::VdeListEntry& entry) = 0;
};

/// Used by one thread at a time.
class VdeHal : public IVdeHal {
public:
    VdeHal() = default;
    ~VdeHal() override { Close(); }
    VdeHal(const VdeHal&) = delete;
    VdeHal& operator=(const VdeHal&) = delete;

    VdResult Open(const std::array<uint8_t, 4>& ipv4) override;
    VdResult GetDescriptor(ServiceProtocol::VdeListEntry& entry) override;
    /// Detaches from the device when attached and disconnects from the service.
    void Close();

    /// Numeric property (service command 1) of the device's type, or of query.typeSelector when
    /// that is not -1. VDAPI_E_NOT_IMPLEMENTED when the key's last field is not -1; the
    /// service client's errors (VDAPI_E_NOT_INITIALIZED before Open).
    VdResult GetProperty(const DriverProtocol::PropertyQuery& query, uint64_t& value);
    /// String property (service command 7); buffer receives the text when it fits.
    /// Errors as GetProperty, VDAPI_E_BUF_TOO_SMALL when the text does not fit.
    VdResult GetStrProperty(const DriverProtocol::PropertyQuery& query, char* buffer, size_t bufferSize,
                            size_t& textLength);
    /// Port I/O direction from the device: value and sub-value codes and the parameter.
    /// VDAPI_E_COMMUNICATION for a failed exchange; VDAPI_E_DEV_DRIVER for a code outside the
    /// known ones; otherwise the device's translated result.
    VdResult GetIoDirection(int port, int& value, int& subValue, int64_t& parameter);

    bool IsAttached() const { return attached_; }
    const std::array<uint8_t, 4>& Ipv4() const { return ipv4_; }
    const std::string& DeviceEndpoint() const { return deviceEndpoint_; }
    const std::string& DebugEndpoint() const { return debugEndpoint_; }
    int32_t TypeNumber() const { return typeNumber_; }
    int32_t FirmwareVersion() const { return firmwareVersion_; }
    int64_t Serial() const { return serial_; }
    /// The device id the device handed out at attach (meaningful while attached).
    uint32_t DeviceId() const { return deviceId_; }
    /// This device's own connection to the device service (connected while open), for the
    /// channel layer's service commands.
    VdeSvcClient& ServiceClient() { return service_; }
    /// The device-call client bound to this device's endpoint.
    VdDeviceRpc& DeviceRpc() { return deviceRpc_; }

private:
    std::array<uint8_t, 4> ipv4_{};
    std::string deviceEndpoint_; // port 8000
    std::string debugEndpoint_;  // port 8001
    VdDeviceRpc deviceRpc_;
    VdeSvcClient service_;
    uint32_t deviceId_ = 0;
    bool attached_ = false;
    int32_t typeNumber_ = -1;
    int32_t firmwareVersion_ = -1;
    int64_t serial_ = -1;
};

} // namespace Vdapi
