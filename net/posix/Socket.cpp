// POSIX only. BSD-socket implementation of ip::Socket and ip::TcpSocket.
#include "net/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

namespace ip {
namespace {

sockaddr_in makeAddress(Address address, uint16_t port)
{
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = address;
    out.sin_port = htons(port);
    return out;
}

bool applyBlocking(SocketHandle handle, bool blocking)
{
    const int flags = fcntl(handle, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return wanted == flags || fcntl(handle, F_SETFL, wanted) == 0;
}

void setIntOption(SocketHandle handle, int level, int name, int value)
{
    // Options are best effort: a socket without them still works.
    (void)setsockopt(handle, level, name, &value, sizeof value);
}

/// Waits for `events` on one handle; returns poll's result (retrying on EINTR with the
/// remaining time).
int pollOne(SocketHandle handle, short events, std::chrono::microseconds timeout, short& revents)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now() + std::chrono::microseconds(999));
        pollfd entry{int(handle), events, 0};
        const int n = ::poll(&entry, 1, int(std::clamp<int64_t>(left.count(), 0, INT_MAX)));
        if (n < 0 && errno == EINTR)
            continue;
        revents = entry.revents;
        return n;
    }
}

} // namespace

SocketStatus Socket::fail()
{
    const int error = errno;
    lastError_ = error;
    return statusFromError(error);
}

std::string Socket::lastErrorText() const
{
    const int error = lastError();
    if (error == 0)
        return "no error";
    return std::strerror(error);
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
    const SocketHandle created = ::socket(AF_INET, kind | SOCK_CLOEXEC, protocol);
    if (created < 0) {
        fail();
        return false;
    }
    handle_ = created;
    applyBlocking(handle_, blocking_);
    if (type_ == SocketType::Tcp)
        setIntOption(handle_, IPPROTO_TCP, TCP_NODELAY, 1);
    else
        setIntOption(handle_, SOL_SOCKET, SO_BROADCAST, 1);
    setIntOption(handle_, SOL_SOCKET, SO_REUSEADDR, 1);
    return true;
}

void Socket::close()
{
    if (handle_ == InvalidSocket)
        return;
    // A socket that never connected (a failed attempt, a listener) has nothing to shut down;
    // only report real failures.
    if (::shutdown(handle_, SHUT_RDWR) != 0 && errno != ENOTCONN) {
        std::printf("Error in shutdown: %d\n", errno);
        std::fflush(stdout);
    }
    ::close(handle_);
    handle_ = InvalidSocket;
}

void Socket::setBlocking(bool blocking)
{
    if (handle_ == InvalidSocket)
        return;
    if (applyBlocking(handle_, blocking))
        blocking_ = blocking;
}

void Socket::adopt(SocketHandle handle)
{
    close();
    handle_ = handle;
    blocking_ = true;
    applyBlocking(handle_, true);
}

SocketStatus Socket::bind(Address address, uint16_t port)
{
    if (!open())
        return SocketStatus::Error;
    const sockaddr_in target = makeAddress(address, port);
    if (::bind(handle_, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0)
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
        while (::connect(handle_, raw, sizeof target) != 0) {
            if (errno != EINTR)
                return fail();
        }
        return SocketStatus::Done;
    }

    const bool wasBlocking = blocking_;
    if (wasBlocking)
        setBlocking(false);
    if (::connect(handle_, raw, sizeof target) == 0) {
        if (wasBlocking)
            setBlocking(true);
        return SocketStatus::Done;
    }
    SocketStatus status = fail();
    if (!wasBlocking)
        return status;

    if (status == SocketStatus::NotReady) {
        short revents = 0;
        const int n = pollOne(handle_, POLLOUT, std::chrono::microseconds(timeoutMicroseconds), revents);
        if (n == 0) {
            status = SocketStatus::NotReady;
        } else if (n > 0) {
            sockaddr_in peer{};
            socklen_t length = sizeof peer;
            if (::getpeername(handle_, reinterpret_cast<sockaddr*>(&peer), &length) == 0 && peer.sin_addr.s_addr != Any) {
                status = SocketStatus::Done;
            } else {
                int pending = 0;
                socklen_t size = sizeof pending;
                if (::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &pending, &size) == 0 && pending != 0)
                    lastError_ = pending;
                else
                    lastError_ = errno;
                status = statusFromError(lastError());
            }
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
    socklen_t length = sizeof local;
    if (handle_ == InvalidSocket || ::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return Any;
    return local.sin_addr.s_addr;
}

uint16_t Socket::localPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (handle_ == InvalidSocket || ::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

SocketStatus TcpSocket::listen(int backlog)
{
    if (!open())
        return SocketStatus::Error;
    if (::listen(handle_, backlog) != 0)
        return fail();
    return SocketStatus::Done;
}

SocketStatus TcpSocket::accept(TcpSocket& peer)
{
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    for (;;) {
        const SocketHandle accepted = ::accept4(handle_, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted >= 0) {
            peer.adopt(accepted);
            setIntOption(accepted, IPPROTO_TCP, TCP_NODELAY, 1);
            return SocketStatus::Done;
        }
        if (errno == EINTR)
            continue;
        // A connection that was reset while queued is no failure of the listener.
        if (errno == ECONNABORTED) {
            lastError_ = errno;
            return SocketStatus::NotReady;
        }
        return fail();
    }
}

SocketStatus TcpSocket::send(const void* data, std::size_t size, std::size_t& sent, bool dontWait)
{
    sent = 0;
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    const int flags = MSG_NOSIGNAL | (dontWait ? MSG_DONTWAIT : 0);
    for (;;) {
        const ssize_t n = ::send(handle_, data, size, flags);
        if (n >= 0) {
            sent = std::size_t(n);
            return SocketStatus::Done;
        }
        if (errno != EINTR)
            return fail();
    }
}

SocketStatus TcpSocket::receive(void* data, std::size_t capacity, std::size_t& received)
{
    received = 0;
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    for (;;) {
        const ssize_t n = ::recv(handle_, data, capacity, 0);
        if (n > 0) {
            received = std::size_t(n);
            return SocketStatus::Done;
        }
        if (n == 0)
            return capacity == 0 ? SocketStatus::Done : SocketStatus::Disconnected;
        if (errno != EINTR)
            return fail();
    }
}

SocketStatus TcpSocket::waitWritable(std::chrono::microseconds timeout)
{
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    short revents = 0;
    const int n = pollOne(handle_, POLLOUT, timeout, revents);
    if (n == 0)
        return SocketStatus::NotReady;
    if (n < 0)
        return fail();
    if (revents & (POLLERR | POLLNVAL))
        return SocketStatus::Error;
    // POLLHUP with POLLOUT: the next send reports the loss itself.
    return SocketStatus::Done;
}

void TcpSocket::shutdown()
{
    if (handle_ != InvalidSocket)
        (void)::shutdown(handle_, SHUT_RDWR);
}

Address TcpSocket::peerAddress() const
{
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (handle_ == InvalidSocket || ::getpeername(handle_, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return Any;
    return peer.sin_addr.s_addr;
}

uint16_t TcpSocket::peerPort() const
{
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (handle_ == InvalidSocket || ::getpeername(handle_, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return 0;
    return ntohs(peer.sin_port);
}

} // namespace ip
