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

} // namespace ip
