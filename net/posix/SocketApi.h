// POSIX only. The BSD socket headers and the native socket type, for the portable files of net/
// that call the socket API.
#pragma once

#include "net/SocketCalls.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace ip::sockets {

using NativeSocket = int;
using AddressLength = socklen_t;
inline constexpr int kShutdownBoth = SHUT_RDWR;
/// Lets a listener bind again while connections of its previous run linger; a second bind of
/// an address in use still fails.
inline constexpr int kReuseAddressOption = SO_REUSEADDR;

inline NativeSocket native(SocketHandle handle) { return NativeSocket(handle); }

/// BSD sockets need no start-up.
inline bool ensureStarted() { return true; }

} // namespace ip::sockets
