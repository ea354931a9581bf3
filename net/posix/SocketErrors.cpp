// POSIX only. Maps errno values of the BSD socket calls onto SocketStatus; the one place of that table.
#include "net/SocketStatus.h"

#include <cerrno>

namespace ip {

SocketStatus statusFromError(int error)
{
    switch (error) {
    case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EINPROGRESS:
    case EALREADY:
        return SocketStatus::NotReady;
    case ENETRESET:
    case ECONNABORTED:
    case ECONNRESET:
    case ENOTCONN:
    case ETIMEDOUT:
    case EPIPE:
        return SocketStatus::Disconnected;
    case EISCONN:
        return SocketStatus::Done;
    default:
        return SocketStatus::Error;
    }
}

} // namespace ip
