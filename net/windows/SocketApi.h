// Windows only. The Winsock 2 headers, the native socket type and the process's Winsock 2.2 session
// (started once), for the portable files of net/ that call the socket API.
#pragma once

#include "net/SocketCalls.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace ip::sockets {

using NativeSocket = SOCKET;
using AddressLength = int;
inline constexpr int kShutdownBoth = SD_BOTH;

inline NativeSocket native(SocketHandle handle) { return static_cast<SOCKET>(handle); }

/// Starts Winsock 2.2 once per process (later calls return the first answer). Every socket
/// and lookup entry point calls it, so a program that never built a socket still gets it.
bool ensureStarted();

} // namespace ip::sockets
