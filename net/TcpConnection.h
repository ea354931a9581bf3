// ip::TcpConnection: one established TCP connection with the thread that receives its bytes.
#pragma once

#include "base/ListenerList.h"
#include "net/Socket.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace ip {

class TcpConnection;

/// Receives the events of a connection, on its receiving thread, under the connection's
/// listener-list lock. Not owned by the connection.
class TcpConnectionListener {
public:
    /// `size` bytes arrived and sit at `connection->data()` until the next receive (status
    /// Done), or a receive failed with `status` (size 0) and receiving goes on.
    virtual void onReceived(std::shared_ptr<TcpConnection> connection, SocketStatus status, std::size_t size) = 0;
    /// The peer closed the connection or it was lost; the receiving thread ends after this call.
    virtual void onClosed() = 0;

protected:
    ~TcpConnectionListener() = default;
};

/// One TCP connection: a blocking socket, a 65,536-byte receive buffer and a receiving thread
/// that waits up to 500 ms at a time for bytes and reads at most 65,535 bytes per call.
/// Always owned through std::shared_ptr (create with std::make_shared): the receiving thread
/// holds its own reference while it runs.
class TcpConnection : public kel::ListenerList<TcpConnectionListener>,
                      public std::enable_shared_from_this<TcpConnection> {
public:
    static constexpr std::size_t BufferSize = 65536;
    static constexpr std::size_t ReceiveSize = BufferSize - 1;
    static constexpr std::chrono::milliseconds ReceiveWait{500};

    TcpConnection();
    /// Stops and joins the receiving thread (unless detached or called on it), closes the socket.
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    /// The socket; its owner (the TCP client) serialises access with its own lock.
    TcpSocket& socket() { return socket_; }

    /// The receive buffer; valid for the size given to `onReceived`, during that call only.
    const uint8_t* data() const { return buffer_.data(); }

    /// Starts the receiving thread. Returns false when it is already running or cannot start.
    bool startReceiving();
    /// Sets the stop flag and joins the receiving thread (detaches it when called on it).
    void stopReceiving();
    /// Sets the stop flag and lets the receiving thread end on its own (used from its callbacks).
    void detachReceiving();
    /// True once the socket has connected; such a connection object is never connected again.
    bool wasConnected() const { return wasConnected_.load(); }
    void markConnected() { wasConnected_.store(true); }
    /// True once the receiving thread saw the connection end (set before `onClosed`).
    bool isLost() const { return lost_.load(); }

private:
    void receiveLoop(std::shared_ptr<TcpConnection> self);

    TcpSocket socket_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> wasConnected_{false};
    std::atomic<bool> lost_{false};
    std::mutex threadMutex_; // guards receiver_ (start, join and detach come from several threads)
    std::thread receiver_;
    std::array<uint8_t, BufferSize> buffer_{}; // written only by the receiving thread
};

} // namespace ip
