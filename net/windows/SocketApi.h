// Windows only. Winsock 2 headers, the process's Winsock 2.2 session (started once) and the few
// calls where Winsock and BSD sockets differ, for the portable files of net/.
#pragma once

#include "net/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

namespace ip::sockets {

using NativeSocket = SOCKET;
using AddressLength = int;
inline constexpr int kShutdownBoth = SD_BOTH;

inline NativeSocket native(SocketHandle handle) { return static_cast<SOCKET>(handle); }

/// Starts Winsock 2.2 once per process (later calls return the first answer). Every socket
/// and lookup entry point calls it, so a program that never built a socket still gets it.
bool ensureStarted();

/// The Winsock error of the socket call that just failed, on the calling thread.
int lastSocketError();
/// Winsock calls are never interrupted by signals.
bool interrupted(int error);
/// Whether a failed shutdown only says that the socket was never connected.
bool notConnected(int error);

/// A new socket that child processes do not inherit, or InvalidSocket (error in lastSocketError).
SocketHandle createSocket(int kind, int protocol);
void closeSocket(SocketHandle handle);
/// Puts the handle in blocking or non-blocking mode; false when the mode cannot be set.
bool applyBlocking(SocketHandle handle, bool blocking);
/// Sets an integer socket option, best effort.
void setIntOption(SocketHandle handle, int level, int name, int value);
/// Waits until the handle is writable or has failed (a failed connect shows in select's
/// exception set). Returns the number of ready handles (0 on timeout, negative on error).
int waitWritableOrFailed(SocketHandle handle, std::chrono::microseconds timeout, bool& failed);

} // namespace ip::sockets
