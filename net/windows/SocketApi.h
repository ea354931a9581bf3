// Windows only. Winsock 2 headers and the process's Winsock 2.2 session (started once, before main).
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

namespace ip::sockets {

/// Starts Winsock 2.2 once per process (later calls return the first answer). Every socket
/// and lookup entry point calls it, so a program that never built a socket still gets it.
bool ensureStarted();

/// Short English text of the Winsock errors a user meets most (the wording other systems use,
/// so log lines read alike everywhere); null for the others, whose text comes from the system.
const char* knownErrorText(int error);

} // namespace ip::sockets
