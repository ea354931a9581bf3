// Windows only. The Winsock 2 calls of ip::Socket and ip::TcpSocket that differ from BSD sockets'.
#include "net/Socket.h"

#include "net/windows/SocketApi.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>

namespace ip {

using sockets::native;
namespace {

timeval toTimeval(std::chrono::microseconds timeout)
{
    const int64_t us = std::max<int64_t>(timeout.count(), 0);
    timeval out{};
    out.tv_sec = long(std::min<int64_t>(us / 1000000, LONG_MAX));
    out.tv_usec = long(us % 1000000);
    return out;
}

/// Like SOCK_CLOEXEC: child processes do not inherit the socket.
void keepFromChildren(SOCKET socket) { SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0); }

} // namespace

int sockets::lastSocketError() { return WSAGetLastError(); }

bool sockets::interrupted(int) { return false; }

bool sockets::notConnected(int error) { return error == WSAENOTCONN; }

SocketHandle sockets::createSocket(int kind, int protocol)
{
    if (!ensureStarted()) {
        WSASetLastError(WSANOTINITIALISED);
        return InvalidSocket;
    }
    const SOCKET created = ::socket(AF_INET, kind, protocol);
    if (created == INVALID_SOCKET)
        return InvalidSocket;
    keepFromChildren(created);
    return static_cast<SocketHandle>(created);
}

void sockets::closeSocket(SocketHandle handle) { ::closesocket(native(handle)); }

bool sockets::applyBlocking(SocketHandle handle, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(native(handle), FIONBIO, &nonBlocking) == 0;
}

int sockets::waitWritableOrFailed(SocketHandle handle, std::chrono::microseconds timeout, bool& failed)
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

SocketStatus TcpSocket::accept(TcpSocket& peer)
{
    if (handle_ == InvalidSocket)
        return SocketStatus::Error;
    const SOCKET accepted = ::accept(native(handle_), nullptr, nullptr);
    if (accepted != INVALID_SOCKET) {
        keepFromChildren(accepted);
        peer.adopt(static_cast<SocketHandle>(accepted));
        sockets::setIntOption(static_cast<SocketHandle>(accepted), IPPROTO_TCP, TCP_NODELAY, 1);
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
        sockets::applyBlocking(handle_, false);
    const int n = ::send(native(handle_), static_cast<const char*>(data), int(std::min<std::size_t>(size, INT_MAX)), 0);
    const SocketStatus status = n >= 0 ? SocketStatus::Done : fail();
    if (toggle)
        sockets::applyBlocking(handle_, true);
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

} // namespace ip
