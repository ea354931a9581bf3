// ip::Socket owns one IPv4 socket handle; ip::TcpSocket adds the stream operations.
#pragma once

#include "net/Address.h"
#include "net/SocketStatus.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ip {

/// Platform socket handle: a file descriptor, or a Winsock SOCKET (whose invalid value, all
/// bits set, is -1 here too).
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle InvalidSocket = -1;

/// One socket handle, closed until `open`, exclusively owned (movable, not copyable).
/// A socket is used by one thread at a time; owners arrange their own locking.
class Socket {
public:
    explicit Socket(SocketType type);
    virtual ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;

    /// Creates the handle if there is none, applies the blocking mode and the options
    /// (TCP: TCP_NODELAY; others: SO_BROADCAST; all: a second bind of an address in use fails,
    /// a listener may bind again while old connections linger). Returns false when the
    /// handle cannot be created; the socket then stays closed.
    bool open();

    /// Shuts down both directions and closes the handle; does nothing on a closed socket.
    /// A failed shutdown of a connected socket prints "Error in shutdown: <errno>" to stdout.
    void close();

    /// Switches blocking mode and remembers it (applied at `open` when there is no handle yet).
    void setBlocking(bool blocking);
    bool isBlocking() const { return blocking_; }

    bool isOpen() const { return handle_ != InvalidSocket; }
    SocketHandle handle() const { return handle_; }
    SocketType type() const { return type_; }

    /// Binds to address:port (port 0 picks a free one), opening the socket if needed.
    /// Returns `Done` or the translated error.
    SocketStatus bind(Address address, uint16_t port);

    /// Connects to address:port. A time limit of zero or less connects plainly. With a positive
    /// limit (microseconds) a blocking socket waits at most that long: `Done` when connected,
    /// `NotReady` when the limit ran out (a later call returns `Done` once the attempt completed
    /// in the background), otherwise the translated error. A non-blocking socket returns the
    /// status of the call at once.
    SocketStatus connect(Address address, uint16_t port, int64_t timeoutMicroseconds);

    /// Local address and port after bind/connect; 0 when unknown.
    Address localAddress() const;
    uint16_t localPort() const;

    /// Platform error number of the last failed operation on this socket (0 if none).
    int lastError() const { return lastError_.load(std::memory_order_relaxed); }
    /// Readable text of `lastError()`.
    std::string lastErrorText() const;

protected:
    /// Takes ownership of an already created handle (used by accept).
    void adopt(SocketHandle handle);
    /// Records the platform error of the failed call just made and returns its status.
    SocketStatus fail();

    SocketType type_;
    SocketHandle handle_ = InvalidSocket;
    bool blocking_ = true;
    // Written by whichever thread saw the failure (a receiving thread and a sender may share
    // one socket), hence atomic.
    std::atomic<int> lastError_{0};
};

/// A TCP stream socket.
class TcpSocket : public Socket {
public:
    TcpSocket();

    /// Starts listening (binding must come first). Returns `Done` or the translated error.
    SocketStatus listen(int backlog = 4);

    /// Accepts one pending connection into `peer` (blocking mode, TCP_NODELAY set).
    /// Returns `Done`, `NotReady` when nothing is pending on a non-blocking socket, or the error.
    SocketStatus accept(TcpSocket& peer);

    /// One send call (never raises SIGPIPE). `sent` receives the bytes taken. With `dontWait`
    /// the call does not block even on a blocking socket and returns `NotReady` when full.
    SocketStatus send(const void* data, std::size_t size, std::size_t& sent, bool dontWait = false);

    /// One receive call of at most `capacity` bytes. `Done` with received > 0; `Disconnected`
    /// on an orderly close or a lost connection; `NotReady` when nothing is there on a
    /// non-blocking socket; otherwise `Error`.
    SocketStatus receive(void* data, std::size_t capacity, std::size_t& received);

    /// Waits until the socket can take more bytes: `Done`, `NotReady` on timeout, `Error`.
    SocketStatus waitWritable(std::chrono::microseconds timeout);

    /// Shuts down both directions but keeps the handle, waking a thread that waits on it.
    void shutdown();

    /// Address and port of the connected peer; 0 when not connected.
    Address peerAddress() const;
    uint16_t peerPort() const;
};

} // namespace ip
