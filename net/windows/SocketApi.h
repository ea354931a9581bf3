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
/// Winsock's SO_REUSEADDR would let a second socket take over an address in use; exclusive use
/// makes a second bind fail with WSAEADDRINUSE, as on other systems. (Winsock lets a listener
/// bind again while old connections linger without any option.)
inline constexpr int kReuseAddressOption = SO_EXCLUSIVEADDRUSE;

inline NativeSocket native(SocketHandle handle) { return static_cast<SOCKET>(handle); }

/// Starts Winsock 2.2 once per process (later calls return the first answer). Every socket
/// and lookup entry point calls it, so a program that never built a socket still gets it.
bool ensureStarted();

/// Short English text of the Winsock errors a user meets most (the wording other systems use,
/// so log lines read alike everywhere); null for the others, whose text comes from the system.
const char* knownErrorText(int error);

} // namespace ip::sockets
