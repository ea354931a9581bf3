// ip::Socket and ip::TcpSocket: what BSD sockets and Winsock share. The calls where they differ
// (creation, blocking mode, waiting, send and receive, error texts) are in posix/ or windows/.
#include "net/Socket.h"

#include "SocketApi.h" // net/posix/ or net/windows/, chosen by CMake

#include <cstdio>
#include <utility>

namespace ip {

using sockets::native;
using sockets::setIntOption;

namespace {

sockaddr_in makeAddress(Address address, uint16_t port)
{
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = address;
    out.sin_port = htons(port);
    return out;
}

/// The socket's own (local) or its peer's address; false when the handle has none.
bool socketAddress(SocketHandle handle, bool peer, sockaddr_in& out)
{
    out = sockaddr_in{};
    sockets::AddressLength length = sizeof out;
    auto* raw = reinterpret_cast<sockaddr*>(&out);
    if (handle == InvalidSocket)
        return false;
    return (peer ? ::getpeername(native(handle), raw, &length) : ::getsockname(native(handle), raw, &length)) == 0;
}

} // namespace

void sockets::setIntOption(SocketHandle handle, int level, int name, int value)
{
    // Options are best effort: a socket without them still works.
    (void)::setsockopt(native(handle), level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

Socket::Socket(SocketType type) : type_(type) {}

Socket::~Socket() { close(); }

Socket::Socket(Socket&& other) noexcept
    : type_(other.type_), handle_(std::exchange(other.handle_, InvalidSocket)), blocking_(other.blocking_),
      lastError_(other.lastError_.load())
{
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        type_ = other.type_;
        handle_ = std::exchange(other.handle_, InvalidSocket);
        blocking_ = other.blocking_;
        lastError_ = other.lastError_.load();
    }
    return *this;
}

SocketStatus Socket::fail()
{
    const int error = sockets::lastSocketError();
    lastError_ = error;
    return statusFromError(error);
}

bool Socket::open()
{
    if (handle_ != InvalidSocket)
        return true;
    int kind = SOCK_STREAM;
    int protocol = 0;
    if (type_ == SocketType::Udp)
        kind = SOCK_DGRAM;
    else if (type_ == SocketType::Raw) {
        kind = SOCK_RAW;
        protocol = 255;
    }
    const SocketHandle created = sockets::createSocket(kind, protocol);
    if (created == InvalidSocket) {
        fail();
        return false;
    }
    handle_ = created;
    sockets::applyBlocking(handle_, blocking_);
    if (type_ == SocketType::Tcp)
        setIntOption(handle_, IPPROTO_TCP, TCP_NODELAY, 1);
    else
        setIntOption(handle_, SOL_SOCKET, SO_BROADCAST, 1);
    setIntOption(handle_, SOL_SOCKET, sockets::kReuseAddressOption, 1);
    return true;
}

void Socket::close()
{
    if (handle_ == InvalidSocket)
        return;
    // A socket that never connected (a failed attempt, a listener) has nothing to shut down;
    // only report real failures.
    if (::shutdown(native(handle_), sockets::kShutdownBoth) != 0) {
        const int error = sockets::lastSocketError();
        if (!sockets::notConnected(error)) {
            std::printf("Error in shutdown: %d\n", error);
            std::fflush(stdout);
        }
    }
    sockets::closeSocket(handle_);
    handle_ = InvalidSocket;
}

void Socket::setBlocking(bool blocking)
{
    if (handle_ == InvalidSocket)
        return;
    if (sockets::applyBlocking(handle_, blocking))
        blocking_ = blocking;
}

void Socket::adopt(SocketHandle handle)
{
    close();
    handle_ = handle;
    blocking_ = true;
    sockets::applyBlocking(handle_, true);
}

SocketStatus Socket::bind(Address address, uint16_t port)
{
    if (!open())
        return SocketStatus::Error;
    const sockaddr_in target = makeAddress(address, port);
    if (::bind(native(handle_), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0)
        return fail();
    return SocketStatus::Done;
}

SocketStatus Socket::connect(Address address, uint16_t port, int64_t timeoutMicroseconds)
{
    if (!open())
        return SocketStatus::Error;
    const sockaddr_in target = makeAddress(address, port);
    const auto* raw = reinterpret_cast<const sockaddr*>(&target);

    if (timeoutMicroseconds <= 0) {
        while (::connect(native(handle_), raw, sizeof target) != 0) {
            if (!sockets::interrupted(sockets::lastSocketError()))
                return fail();
        }
        return SocketStatus::Done;
    }

    const bool wasBlocking = blocking_;
    if (wasBlocking)
        setBlocking(false);
    if (::connect(native(handle_), raw, sizeof target) == 0) {
        if (wasBlocking)
            setBlocking(true);
        return SocketStatus::Done;
    }
    SocketStatus status = fail();
    if (!wasBlocking)
        return status;

    if (status == SocketStatus::NotReady) {
        bool failed = false;
        const int n = sockets::waitWritableOrFailed(handle_, std::chrono::microseconds(timeoutMicroseconds), failed);
        sockaddr_in peer{};
        if (n == 0) {
            status = SocketStatus::NotReady;
        } else if (n > 0 && !failed && socketAddress(handle_, true, peer) && peer.sin_addr.s_addr != Any) {
            status = SocketStatus::Done;
        } else if (n > 0) {
            // The attempt ended without a peer: its own error, or else that of the last call.
            const int lastCall = sockets::lastSocketError();
            int pending = 0;
            sockets::AddressLength size = sizeof pending;
            if (::getsockopt(native(handle_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &size) == 0 &&
                pending != 0)
                lastError_ = pending;
            else
                lastError_ = lastCall;
            status = statusFromError(lastError());
        } else {
            status = fail();
        }
    }
    if (handle_ != InvalidSocket)
        setBlocking(true);
    return status;
}

Address Socket::localAddress() const
{
    sockaddr_in local{};
    return socketAddress(handle_, false, local) ? local.sin_addr.s_addr : Any;
}

uint16_t Socket::localPort() const
{
    sockaddr_in local{};
    return socketAddress(handle_, false, local) ? ntohs(local.sin_port) : 0;
}

TcpSocket::TcpSocket() : Socket(SocketType::Tcp) {}

SocketStatus TcpSocket::listen(int backlog)
{
    if (!open())
        return SocketStatus::Error;
    if (::listen(native(handle_), backlog) != 0)
        return fail();
    return SocketStatus::Done;
}

SocketStatus TcpSocket::waitWritable(std::chrono::microseconds timeout)
{
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    bool failed = false;
    const int n = sockets::waitWritableOrFailed(handle_, timeout, failed);
    if (n == 0)
        return SocketStatus::NotReady;
    if (n < 0)
        return fail();
    // A hang-up with room to write is no failure here: the next send reports the loss itself.
    return failed ? SocketStatus::Error : SocketStatus::Done;
}

void TcpSocket::shutdown()
{
    if (handle_ != InvalidSocket)
        (void)::shutdown(native(handle_), sockets::kShutdownBoth);
}

Address TcpSocket::peerAddress() const
{
    sockaddr_in peer{};
    return socketAddress(handle_, true, peer) ? peer.sin_addr.s_addr : Any;
}

uint16_t TcpSocket::peerPort() const
{
    sockaddr_in peer{};
    return socketAddress(handle_, true, peer) ? ntohs(peer.sin_port) : 0;
}

} // namespace ip
