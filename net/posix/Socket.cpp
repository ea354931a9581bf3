// POSIX only. The BSD-socket calls of ip::Socket and ip::TcpSocket that differ from Winsock's.
#include "net/Socket.h"

#include "net/posix/SocketApi.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace ip {

using sockets::native;

int sockets::lastSocketError() { return errno; }

bool sockets::interrupted(int error) { return error == EINTR; }

bool sockets::notConnected(int error) { return error == ENOTCONN; }

SocketHandle sockets::createSocket(int kind, int protocol)
{
    const int created = ::socket(AF_INET, kind | SOCK_CLOEXEC, protocol);
    return created < 0 ? InvalidSocket : SocketHandle(created);
}

void sockets::closeSocket(SocketHandle handle) { ::close(native(handle)); }

bool sockets::applyBlocking(SocketHandle handle, bool blocking)
{
    const int flags = fcntl(native(handle), F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return wanted == flags || fcntl(native(handle), F_SETFL, wanted) == 0;
}

int sockets::waitWritableOrFailed(SocketHandle handle, std::chrono::microseconds timeout, bool& failed)
{
    // poll again after a signal, with the time that is left.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now() + std::chrono::microseconds(999));
        pollfd entry{native(handle), POLLOUT, 0};
        const int n = ::poll(&entry, 1, int(std::clamp<int64_t>(left.count(), 0, INT_MAX)));
        if (n < 0 && errno == EINTR)
            continue;
        failed = n > 0 && (entry.revents & (POLLERR | POLLNVAL)) != 0;
        return n;
    }
}

std::string Socket::lastErrorText() const
{
    const int error = lastError();
    if (error == 0)
        return "no error";
    return std::strerror(error);
}

SocketStatus TcpSocket::accept(TcpSocket& peer)
{
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    for (;;) {
        const int accepted = ::accept4(native(handle_), nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted >= 0) {
            peer.adopt(accepted);
            sockets::setIntOption(accepted, IPPROTO_TCP, TCP_NODELAY, 1);
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
        const ssize_t n = ::send(native(handle_), data, size, flags);
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
        const ssize_t n = ::recv(native(handle_), data, capacity, 0);
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

} // namespace ip
