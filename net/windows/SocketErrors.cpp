// Windows only. Maps Winsock error codes (WSAGetLastError) onto SocketStatus; the one place of that table.
#include "net/SocketStatus.h"

#include "net/windows/SocketApi.h"

namespace ip {

SocketStatus statusFromError(int error)
{
    switch (error) {
    case WSAEWOULDBLOCK: // 10035
    case WSAEINPROGRESS: // 10036: a blocking call is already running on this thread
    case WSAEALREADY:    // 10037
        return SocketStatus::NotReady;
    case WSAENETRESET:    // 10052
    case WSAECONNABORTED: // 10053
    case WSAECONNRESET:   // 10054
    case WSAENOTCONN:     // 10057
    case WSAESHUTDOWN:    // 10058: sending after the connection was shut down
    case WSAETIMEDOUT:    // 10060
        return SocketStatus::Disconnected;
    case WSAEISCONN: // 10056
        return SocketStatus::Done;
    default:
        return SocketStatus::Error;
    }
}

namespace sockets {

const char* knownErrorText(int error)
{
    switch (error) {
    case WSAEACCES: return "Permission denied";
    case WSAEADDRINUSE: return "Address already in use";
    case WSAEADDRNOTAVAIL: return "Cannot assign requested address";
    case WSAECONNREFUSED: return "Connection refused";
    case WSAECONNRESET: return "Connection reset by peer";
    case WSAECONNABORTED: return "Software caused connection abort";
    case WSAENETUNREACH: return "Network is unreachable";
    case WSAEHOSTUNREACH: return "No route to host";
    case WSAETIMEDOUT: return "Connection timed out";
    case WSAENOTCONN: return "Transport endpoint is not connected";
    default: return nullptr;
    }
}

} // namespace sockets

} // namespace ip
