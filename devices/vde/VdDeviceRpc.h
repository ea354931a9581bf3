// Client of a device's remote-call service (SOAP 1.2 over HTTP to port 8000): attach, identity,
// detach and port I/O configuration.
#pragma once

#include "devices/vde/ServiceProtocol.h"
#include "devices/vde/soap/SoapContext.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Vdapi {

/// One SOAP context of its own; used by one thread at a time. Every call returns the SOAP
/// toolkit's error code: 0 when the exchange succeeded (the device's own result is then in
/// `result`), anything else for a failed or broken exchange (outputs then unspecified).
class VdDeviceRpc {
public:
    /// Limit for connecting, sending and receiving, each.
    static constexpr int kTimeoutSeconds = 5;

    VdDeviceRpc();

    /// The device-call endpoint, e.g. "http://198.51.100.21:8000".
    void SetEndpoint(const std::string& endpoint) { endpoint_ = endpoint; }
    const std::string& Endpoint() const { return endpoint_; }

    int Attach(uint64_t& result, uint32_t& deviceId);
    /// The answer's identity is decoded into info; an answer whose address arrays are not 4
    /// and 6 bytes long is a broken message.
    int GetDescriptor(uint64_t& result, ServiceProtocol::VdeListEntry& info);
    int Detach(uint32_t deviceId, uint64_t& result);
    int GetIoConfig(uint32_t deviceId, int32_t port, uint64_t& result, int32_t& ioConfig, int32_t& parXtra);

    /// Reads one GetDescriptor answer (HTTP response or bare envelope) from bytes, as the
    /// exchange does. Returns the toolkit's error code; 0 with result and info filled.
    static int ParseGetDescriptorAnswer(const uint8_t* data, size_t size, uint64_t& result,
                                        ServiceProtocol::VdeListEntry& info);

private:
    int Prepare();

    SoapContext context_;
    std::string endpoint_;
};

} // namespace Vdapi
