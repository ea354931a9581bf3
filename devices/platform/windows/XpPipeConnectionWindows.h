// Named-pipe connection on Windows: a client end opened by name, or a server end handed over by
// XpPipeListenerWindows. Overlapped I/O, so every wait can end on time-out or cancel.
#pragma once

#include "devices/platform/IXpPipeConnection.h"
#include "devices/platform/windows/UniqueHandle.h"

#include <atomic>
#include <memory>

namespace Vdapi {

class XpPipeConnectionWindows final : public IXpPipeConnection {
public:
    static constexpr DWORD kDefaultBusyWaitMs = 1000;
    static constexpr int kConnectAttempts = 10;

    /// busyWaitMs: how long Connect waits with WaitNamedPipeA while the pipe is busy.
    explicit XpPipeConnectionWindows(DWORD busyWaitMs = kDefaultBusyWaitMs) : busyWaitMs_(busyWaitMs) {}
    ~XpPipeConnectionWindows() override { Close(); }

    /// A server end around a pipe instance a client has connected to, already initialised; null
    /// when its events cannot be made (the instance is then closed).
    static std::unique_ptr<XpPipeConnectionWindows> adopt(UniqueHandle connectedInstance);

    VdResult Init() override;
    VdResult Connect(const char* name) override;
    VdResult Flush() override;
    VdResult Write(const void* buffer, uint32_t length, uint32_t timeoutMs) override;
    VdResult Read(void* buffer, uint32_t length, uint32_t timeoutMs) override;
    void Cancel() override;
    VdResult ResetCancel() override;
    void Close() override;
    bool IsOpen() const override { return pipe_.valid(); }

    /// Connection attempts the last Connect made (0 when it failed before trying).
    int lastConnectAttempts() const { return lastConnectAttempts_.load(); }

private:
    VdResult transfer(bool reading, uint8_t* bytes, uint32_t length, uint32_t timeoutMs);
    /// One ReadFile/WriteFile of at most length bytes, waited for at most waitMs.
    VdResult transferOnce(bool reading, uint8_t* bytes, uint32_t length, DWORD waitMs, DWORD& moved);
    /// The result code of a failed transfer: the other end gone is a communication failure,
    /// anything else is logged with its Windows error number.
    static VdResult failedTransfer(bool reading, DWORD err);
    /// Polls until bytes are waiting (finite time-outs only): VDAPI_OK, VDAPI_E_TIMEOUT,
    /// VDAPI_E_CANCELLED or VDAPI_E_INTERNAL.
    VdResult waitForData(ULONGLONG start, uint32_t timeoutMs);

    DWORD busyWaitMs_;
    UniqueHandle pipe_;        ///< invalid when not connected
    UniqueHandle completion_;  ///< manual-reset, signalled by the system when an I/O ends
    UniqueHandle cancelEvent_; ///< auto-reset, raised by Cancel
    std::atomic<bool> cancelled_{false};
    bool serverEnd_ = false; ///< disconnect the instance before closing it
    std::atomic<int> lastConnectAttempts_{0}; ///< read by other threads while Connect waits
};

} // namespace Vdapi
