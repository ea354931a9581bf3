// Names of the socket status codes; the error tables are in posix/ and windows/SocketErrors.cpp.
#include "net/SocketStatus.h"

namespace ip {

const char* toString(SocketStatus status)
{
    switch (status) {
    case SocketStatus::NotReady:
        return "NotReady";
    case SocketStatus::Disconnected:
        return "Disconnected";
    case SocketStatus::Done:
        return "Done";
    case SocketStatus::Error:
        return "Error";
    }
    return "?";
}

} // namespace ip
