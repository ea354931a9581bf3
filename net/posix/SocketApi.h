// POSIX only. The BSD socket headers and the few calls where BSD sockets and Winsock differ,
// for the portable files of net/ that call the socket API.
#pragma once

#include "net/Socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>

namespace ip::sockets {

using NativeSocket = int;
using AddressLength = socklen_t;
inline constexpr int kShutdownBoth = SHUT_RDWR;

inline NativeSocket native(SocketHandle handle) { return NativeSocket(handle); }

/// BSD sockets need no start-up.
inline bool ensureStarted() { return true; }

/// The error number of the socket call that just failed, on the calling thread.
int lastSocketError();
/// Whether that error is an interruption by a signal, after which the call is made again.
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
/// Waits until the handle is writable or has failed. Returns the number of ready handles
/// (0 on timeout, negative on error); `failed` tells whether it failed.
int waitWritableOrFailed(SocketHandle handle, std::chrono::microseconds timeout, bool& failed);

} // namespace ip::sockets
