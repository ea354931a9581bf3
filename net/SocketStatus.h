// Outcome codes of socket operations and the mapping of platform error numbers onto them.
#pragma once

#include <cstdint>

namespace ip {

/// Uniform result of a socket call.
enum class SocketStatus : int32_t {
    NotReady = 0,     ///< would block, still in progress, or a time limit ran out
    Disconnected = 1, ///< the peer closed or the connection was lost
    Done = 2,         ///< success (also a connect on an already connected socket)
    Error = 3,        ///< any other failure
};

/// Kind of socket a `Socket` creates.
enum class SocketType : int32_t {
    Raw = 0, ///< raw IPv4, protocol 255
    Udp = 1,
    Tcp = 2,
};

/// Translates a platform error number (errno) into a status; unknown numbers give `Error`.
SocketStatus statusFromError(int error);

/// Returns the text name of a status ("NotReady", "Disconnected", "Done", "Error"), "?" otherwise.
const char* toString(SocketStatus status);

} // namespace ip
