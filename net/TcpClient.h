// ip::TcpClient keeps one outgoing TCP connection alive; ip::TcpClientListener gets its events.
#pragma once

#include "base/ListenerList.h"
#include "base/Worker.h"
#include "net/Address.h"
#include "net/TcpConnection.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class ILogger;

namespace ip {

/// Receives the events of a TCP client. Called with the client's listener-list lock held:
/// `onConnected` on the connecting thread, `onDataReceived` and `onDisconnected` on the
/// connection's receiving thread, never on the caller of start/stop/send.
class TcpClientListener {
public:
    /// `size` bytes arrived at `connection->data()` (status Done); they are overwritten by the
    /// next receive, so copy what you keep. A failed receive gives its status with size 0.
    virtual void onDataReceived(std::shared_ptr<TcpConnection> connection, SocketStatus status, std::size_t size) = 0;
    /// A connection came up.
    virtual void onConnected() = 0;
    /// The connection was lost (not called when `stop` ends it).
    virtual void onDisconnected() = 0;

protected:
    ~TcpClientListener() = default;
};

/// A reconnecting TCP client. Its connecting thread tries to connect once a second (each try
/// limited to 0.3 s, from the local address with port 0) until it succeeds, and again after
/// every loss. A local address that cannot be bound logs "Cannot bind to specified network
/// adapter" (once, and again only after a success in between) and is retried every second.
///
/// Locks, in the order they nest: the connection's listener list, then this client's listener
/// list, then `connectionMutex_` (a listener may send from a callback). No listener list is
/// ever locked while `connectionMutex_` is held.
class TcpClient : public kel::ListenerList<TcpClientListener>, public TcpConnectionListener {
public:
    static constexpr int64_t ConnectTimeoutMicroseconds = 300000;
    static constexpr std::chrono::milliseconds AttemptPeriod{1000};

    /// Resolves both texts once (see `resolve`; an unresolvable text means 0.0.0.0). `logger`
    /// (not owned, may be null: then standard error) receives the bind-failure line.
    TcpClient(const std::string& serverAddress, uint16_t port, const std::string& localAddress,
              ILogger* logger = nullptr);
    /// Calls `stop`.
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    /// Starts the connecting thread; does nothing while running. Returns false when the thread
    /// cannot be started.
    bool start();
    /// Ends the connecting thread and the connection (listeners are not told) and waits for
    /// both threads. Must not be called from a listener callback. Does nothing when stopped.
    void stop();
    /// Sends all bytes of one message, serialised with other senders. Returns false without a
    /// connection, with null data or size 0, or when a send fails (bytes already sent stay sent).
    bool send(const void* data, std::size_t size);

    bool isConnected() const { return connected_.load(); }
    /// Connect attempts made so far (each one-second round that tried), for diagnostics.
    std::size_t attemptCount() const { return attempts_.load(); }
    bool isRunning() const { return running_.load(); }
    Address serverAddress() const { return serverAddress_; }
    uint16_t serverPort() const { return serverPort_; }
    Address localAddress() const { return localAddress_; }

private:
    void onReceived(std::shared_ptr<TcpConnection> connection, SocketStatus status, std::size_t size) override;
    void onClosed() override;

    void connectingLoop();
    void attemptConnect();
    void reportSetupFailure(const std::string& text);

    const Address serverAddress_;
    const uint16_t serverPort_;
    const Address localAddress_;
    ILogger* const logger_;

    std::mutex connectionMutex_;             // guards connection_, connect attempts and sends
    std::shared_ptr<TcpConnection> connection_; // current connection or pending attempt
    bool setupFailureReported_ = false;      // guarded by connectionMutex_

    std::atomic<bool> connected_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false}; // lets a send that waits for buffer room give up
    std::atomic<std::size_t> attempts_{0};

    std::mutex lifecycleMutex_;     // serialises start and stop; guards starting and stopping connector_
    base::Worker connector_;        // the connecting loop: an attempt per AttemptPeriod until stopped
};

} // namespace ip
