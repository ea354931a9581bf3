// Windows only. Winsock 2 implementation of ip::Socket and ip::TcpSocket.
#include "net/Socket.h"

#include "net/windows/SocketApi.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <utility>

namespace ip {
namespace {

SOCKET native(SocketHandle handle) { return static_cast<SOCKET>(handle); }

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
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(native(handle), FIONBIO, &nonBlocking) == 0;
}

void setIntOption(SocketHandle handle, int level, int name, int value)
{
    // Options are best effort: a socket without them still works.
    (void)setsockopt(native(handle), level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

timeval toTimeval(std::chrono::microseconds timeout)
{
    const int64_t us = std::max<int64_t>(timeout.count(), 0);
    timeval out{};
    out.tv_sec = long(std::min<int64_t>(us / 1000000, LONG_MAX));
    out.tv_usec = long(us % 1000000);
    return out;
}

/// Waits until one socket is writable or has failed (a failed connect shows in the exception
/// set on Windows). Returns select's count; `failed` tells whether the exception set fired.
int waitWritableOrFailed(SocketHandle handle, std::chrono::microseconds timeout, bool& failed)
{
    fd_set writable, failures;
    FD_ZERO(&writable);
    FD_ZERO(&failures);
    FD_SET(native(handle), &writable);
    FD_SET(native(handle), &failures);
    timeval limit = toTimeval(timeout);
    const int n = ::select(0, nullptr, &writable, &failures, &limit);
    failed = n > 0 && FD_ISSET(native(handle), &failures);
    return n;
}

} // namespace

SocketStatus Socket::fail()
{
    const int error = WSAGetLastError();
    lastError_ = error;
    return statusFromError(error);
}

std::string Socket::lastErrorText() const
{
    const int error = lastError();
    if (error == 0)
        return "no error";
    if (const char* known = sockets::knownErrorText(error))
        return known;
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(error),
                                   0, text, sizeof text, nullptr);
    std::string out(text, n);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out.empty() ? "Winsock error " + std::to_string(error) : out;
}

bool Socket::open()
{
    if (handle_ != InvalidSocket)
        return true;
    if (!sockets::ensureStarted()) {
        lastError_ = WSANOTINITIALISED;
        return false;
    }
    int kind = SOCK_STREAM;
    int protocol = 0;
    if (type_ == SocketType::Udp)
        kind = SOCK_DGRAM;
    else if (type_ == SocketType::Raw) {
        kind = SOCK_RAW;
        protocol = 255;
    }
    const SOCKET created = ::socket(AF_INET, kind, protocol);
    if (created == INVALID_SOCKET) {
        fail();
        return false;
    }
    // Like SOCK_CLOEXEC: child processes do not inherit the socket.
    SetHandleInformation(reinterpret_cast<HANDLE>(created), HANDLE_FLAG_INHERIT, 0);
    handle_ = static_cast<SocketHandle>(created);
    applyBlocking(handle_, blocking_);
    if (type_ == SocketType::Tcp)
        setIntOption(handle_, IPPROTO_TCP, TCP_NODELAY, 1);
    else
        setIntOption(handle_, SOL_SOCKET, SO_BROADCAST, 1);
    // Winsock's SO_REUSEADDR would let a second socket take over an address in use; exclusive
    // use makes a second bind fail with WSAEADDRINUSE, as on other systems. (Winsock lets a
    // listener rebind while old connections linger without any option.)
    setIntOption(handle_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
    return true;
}

void Socket::close()
{
    if (handle_ == InvalidSocket)
        return;
    // A socket that never connected (a failed attempt, a listener) has nothing to shut down;
    // only report real failures.
    if (::shutdown(native(handle_), SD_BOTH) != 0) {
        const int error = WSAGetLastError();
        if (error != WSAENOTCONN) {
            std::printf("Error in shutdown: %d\n", error);
            std::fflush(stdout);
        }
    }
    ::closesocket(native(handle_));
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
        if (::connect(native(handle_), raw, sizeof target) != 0)
            return fail();
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
        const int n = waitWritableOrFailed(handle_, std::chrono::microseconds(timeoutMicroseconds), failed);
        if (n == 0) {
            status = SocketStatus::NotReady;
        } else if (n > 0 && !failed) {
            sockaddr_in peer{};
            int length = sizeof peer;
            if (::getpeername(native(handle_), reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
                peer.sin_addr.s_addr != Any)
                status = SocketStatus::Done;
            else
                status = fail();
        } else if (n > 0) {
            int pending = 0;
            int size = sizeof pending;
            if (::getsockopt(native(handle_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &size) == 0 &&
                pending != 0)
                lastError_ = pending;
            else
                lastError_ = WSAGetLastError();
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
    int length = sizeof local;
    if (handle_ == InvalidSocket || ::getsockname(native(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return Any;
    return local.sin_addr.s_addr;
}

uint16_t Socket::localPort() const
{
    sockaddr_in local{};
    int length = sizeof local;
    if (handle_ == InvalidSocket || ::getsockname(native(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

SocketStatus TcpSocket::listen(int backlog)
{
    if (!open())
        return SocketStatus::Error;
    if (::listen(native(handle_), backlog) != 0)
        return fail();
    return SocketStatus::Done;
}

SocketStatus TcpSocket::accept(TcpSocket& peer)
{
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    const SOCKET accepted = ::accept(native(handle_), nullptr, nullptr);
    if (accepted != INVALID_SOCKET) {
        SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
        peer.adopt(static_cast<SocketHandle>(accepted));
        setIntOption(static_cast<SocketHandle>(accepted), IPPROTO_TCP, TCP_NODELAY, 1);
        return SocketStatus::Done;
    }
    const int error = WSAGetLastError();
    // A connection that was reset while queued is no failure of the listener.
    if (error == WSAECONNRESET || error == WSAECONNABORTED) {
        lastError_ = error;
        return SocketStatus::NotReady;
    }
    return fail();
}

SocketStatus TcpSocket::send(const void* data, std::size_t size, std::size_t& sent, bool dontWait)
{
    sent = 0;
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    // Winsock has no per-call "don't wait" flag: a blocking socket is non-blocking for this
    // one call. Only the owner's sender switches it, under the owner's lock; a receiving thread
    // reads only after select said the bytes are there, so it never sees the brief switch.
    const bool toggle = dontWait && blocking_;
    if (toggle)
        applyBlocking(handle_, false);
    const int n = ::send(native(handle_), static_cast<const char*>(data), int(std::min<std::size_t>(size, INT_MAX)), 0);
    const SocketStatus status = n >= 0 ? SocketStatus::Done : fail();
    if (toggle)
        applyBlocking(handle_, true);
    if (n >= 0)
        sent = std::size_t(n);
    return status;
}

SocketStatus TcpSocket::receive(void* data, std::size_t capacity, std::size_t& received)
{
    received = 0;
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    const int n = ::recv(native(handle_), static_cast<char*>(data), int(std::min<std::size_t>(capacity, INT_MAX)), 0);
    if (n > 0) {
        received = std::size_t(n);
        return SocketStatus::Done;
    }
    if (n == 0)
        return capacity == 0 ? SocketStatus::Done : SocketStatus::Disconnected;
    return fail();
}

SocketStatus TcpSocket::waitWritable(std::chrono::microseconds timeout)
{
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    bool failed = false;
    const int n = waitWritableOrFailed(handle_, timeout, failed);
    if (n == 0)
        return SocketStatus::NotReady;
    if (n < 0)
        return fail();
    return failed ? SocketStatus::Error : SocketStatus::Done;
}

void TcpSocket::shutdown()
{
    if (handle_ != InvalidSocket)
        (void)::shutdown(native(handle_), SD_BOTH);
}

Address TcpSocket::peerAddress() const
{
    sockaddr_in peer{};
    int length = sizeof peer;
    if (handle_ == InvalidSocket || ::getpeername(native(handle_), reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return Any;
    return peer.sin_addr.s_addr;
}

uint16_t TcpSocket::peerPort() const
{
    sockaddr_in peer{};
    int length = sizeof peer;
    if (handle_ == InvalidSocket || ::getpeername(native(handle_), reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return 0;
    return ntohs(peer.sin_port);
}

} // namespace ip
