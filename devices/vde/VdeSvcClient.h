// Request/reply client of the device service on the pipe "VdeRecvPipe": version check on
// connect, one request at a time under the request lock, reconnect after a broken exchange.
#pragma once

#include "devices/platform/IXpMutex.h"
#include "devices/vde/PipeMessenger.h"
#include "devices/vde/ServiceReply.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace Vdapi {

/// Connect and Disconnect must not run concurrently with requests of the same client; the
/// requests themselves may come from several threads (the request lock serialises them).
class VdeSvcClient : public PipeMessenger {
public:
    VdeSvcClient();
    /// Uses the given pipe connection (tests, fuzzing).
    explicit VdeSvcClient(std::unique_ptr<IXpPipeConnection> pipe);
    ~VdeSvcClient() override;

    /// Connects and checks the service version. Returns VDAPI_OK (also when already connected);
    /// VDAPI_E_CONNECT_TO_SERVICE when the pipe cannot be prepared or opened;
    /// VDAPI_E_SERVICE_INCOMP for a service older than 5.1.3; the request lock's error when it
    /// cannot be created; VDAPI_E_INTERNAL or the service's code when the version request fails.
    VdResult Connect();
    /// The pipe-level connect of the messenger stays visible beside the service connect.
    using PipeMessenger::Connect;
    /// Says goodbye, closes the pipe and drops the request lock. Returns VDAPI_OK.
    VdResult Disconnect();
    bool IsConnected() const { return connected_.load(); }

    /// Command 0. Works once the request lock exists (during Connect), the pipe open.
    /// Returns the service's code, VDAPI_E_NOT_INITIALIZED before Connect, VDAPI_E_INTERNAL
    /// for a broken exchange or a reply of the wrong length.
    VdResult GetVersion(VdeServiceVersion& version);
    /// Command 11: asks the service to rediscover its devices. Errors as GetVersion.
    VdResult RefreshVdeList();
    /// Command 2: names of the list's named mutex and shared-memory section. Errors as GetVersion.
    VdResult GetVdeListNames(std::string& mutexName, std::string& sharedMemName);
    /// Command 1: numeric property of a device. VDAPI_E_BUF_TOO_SMALL (nothing sent) for a name
    /// longer than 49 characters; otherwise errors as GetVersion.
    VdResult GetProperty(const std::string& name, int32_t typeNumber, int32_t firmwareVersion, int32_t portPlusOne,
                         int64_t& value);
    /// Command 7: string property; key60/key64 are the key's two further fields. The text is
    /// copied into buffer (NUL-terminated) only when bufferSize exceeds its length, else
    /// VDAPI_E_BUF_TOO_SMALL; textLength receives the length in both cases. Errors as GetProperty.
    VdResult GetStrProperty(const std::string& name, int32_t typeNumber, int32_t key60, int32_t key64,
                            int32_t portPlusOne, char* buffer, size_t bufferSize, size_t& textLength);
    /// Command 3: registers (mask != 0) or unregisters (mask 0) an event pipe of at most 63
    /// characters (VDAPI_E_BUF_TOO_SMALL otherwise).
    VdResult RegisterEventPipe(const std::string& pipeName, uint32_t mask);
    /// Command 4: attaches a demodulator port; handle receives the first reply word.
    VdResult DemodAttach(const uint8_t ipv4[4], int64_t serial, int32_t portPlusOne, uint32_t& handle);
    /// Command 5: detaches a demodulator port.
    VdResult DemodDetach(int64_t serial, int32_t portPlusOne, uint32_t handle);
    /// Command 6: access mode 1, 2 or 3 (VDAPI_E_NOT_SUPPORTED for others, nothing sent).
    VdResult DemodAccessMode(int64_t serial, int32_t portPlusOne, uint32_t handle, int32_t accessMode);
    /// Channel-layer commands 8, 9 and 10: request is the whole request (command word included,
    /// exact size); reply receives the whole reply once its length checked out.
    /// VDAPI_E_INVALID_ARG for another command or a request of the wrong size.
    VdResult ChannelRequest(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply);

private:
    /// One request cycle. Returns VDAPI_E_INTERNAL for a broken exchange (pipe reopened) or a
    /// reply of the wrong length; otherwise the reply's result code, reply holding it.
    VdResult Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply, bool needsConnected);
    static std::vector<uint8_t> NewRequest(int32_t command);

    std::atomic<bool> connected_{false};
    std::atomic<bool> stopEvents_{false};
    std::unique_ptr<IXpMutex> requestLock_; // created by Connect, dropped by Disconnect
};

} // namespace Vdapi
