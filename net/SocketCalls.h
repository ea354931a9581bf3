// The socket calls where BSD sockets and Winsock differ, implemented in posix/ or windows/Socket.cpp
// and used by the portable net/Socket.cpp.
#pragma once

#include "net/Socket.h"

#include <chrono>

namespace ip::sockets {

/// The error of the socket call that just failed, on the calling thread.
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
/// Waits until the handle is writable or has failed (on Winsock a failed connect shows in
/// select's exception set). Returns the number of ready handles (0 on timeout, negative on
/// error); `failed` tells whether it failed.
int waitWritableOrFailed(SocketHandle handle, std::chrono::microseconds timeout, bool& failed);

} // namespace ip::sockets
