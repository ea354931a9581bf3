// Named-pipe client end on POSIX: a Unix stream socket <run dir>/pipe/NAME.
#pragma once

#include "devices/platform/IXpPipeConnection.h"
#include "devices/platform/posix/EventSignal.h"
#include "devices/platform/posix/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <memory>

namespace Vdapi {

class XpPipeConnectionPosix final : public IXpPipeConnection {
public:
    static constexpr std::chrono::milliseconds kDefaultBusyWait{1000};
    static constexpr int kConnectAttempts = 10;
    /// How long a read looks again for bytes before it sleeps on the socket.
    static constexpr std::chrono::microseconds kReadSpin{50};

    /// busyWait: how long Connect waits between attempts while the pipe is busy.
    explicit XpPipeConnectionPosix(std::chrono::milliseconds busyWait = kDefaultBusyWait);
    ~XpPipeConnectionPosix() override = default;

    /// A connection around a socket accepted by a listener, already initialised; null when the
    /// cancel signal cannot be created (the socket is then closed).
    static std::unique_ptr<XpPipeConnectionPosix> adopt(UniqueFd connectedSocket);

    VdResult Init() override;
    VdResult Connect(const char* name) override;
    VdResult Flush() override;
    VdResult Write(const void* buffer, uint32_t length, uint32_t timeoutMs) override;
    VdResult Read(void* buffer, uint32_t length, uint32_t timeoutMs) override;
    void Cancel() override;
    VdResult ResetCancel() override;
    void Close() override;
    bool IsOpen() const override { return socket_.valid(); }

    /// Connection attempts the last Connect made (0 when it failed before trying).
    int lastConnectAttempts() const { return lastConnectAttempts_; }

private:
    VdResult connectOnce(const char* name, bool& busy);
    /// Moves exactly length bytes in one direction, waiting for the socket as needed.
    VdResult transfer(bool reading, uint8_t* bytes, uint32_t length, uint32_t timeoutMs);

    std::chrono::milliseconds busyWait_;
    UniqueFd socket_;         ///< non-blocking stream socket; invalid when not connected
    EventSignal cancelEvent_; ///< raised by Cancel, cleared by ResetCancel/Init; made by Init
    std::atomic<bool> cancelled_{false};
    int lastConnectAttempts_ = 0;
};

} // namespace Vdapi
