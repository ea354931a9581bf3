// Unix-domain stream socket helpers shared by the pipe and driver stand-ins: addressing of long
// paths, socket creation and waiting with a deadline and a cancel descriptor.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/platform/posix/Deadline.h"
#include "devices/platform/posix/UniqueFd.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <string>

namespace Vdapi {

/// Address of a socket file. A path too long for sockaddr_un is reached through an open
/// descriptor of its folder ("/proc/self/fd/N/name"), which this object keeps open as long as
/// the address is in use.
class UnixSocketAddress {
public:
    /// Returns VDAPI_OK; VDAPI_E_BUF_TOO_SMALL when not even the short form fits;
    /// VDAPI_E_NOT_FOUND (or another mapped errno) when the folder of a long path cannot be opened.
    VdResult assign(const std::string& path);

    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
    socklen_t length() const { return length_; }

private:
    sockaddr_un address_{};
    socklen_t length_ = 0;
    UniqueFd folder_;
};

/// A new close-on-exec Unix stream socket, non-blocking if asked; invalid on failure (errno set).
UniqueFd NewUnixStreamSocket(bool nonBlocking);

/// Receives up to n bytes (all of them unless the peer closes first) and a descriptor passed
/// with them (SCM_RIGHTS), which lands close-on-exec in `passed` (invalid when none came).
/// Returns the bytes received, 0 at end of stream, -1 on error (errno set).
ssize_t ReceiveWithDescriptor(int socket, void* bytes, size_t n, UniqueFd& passed);
/// Sends n bytes with descriptor fd attached to the first of them (no SIGPIPE). Returns the
/// bytes sent (the rest is the caller's to send as ordinary data), -1 on error (errno set).
ssize_t SendWithDescriptor(int socket, const void* bytes, size_t n, int fd);

enum class WaitResult { Ready, TimedOut, Cancelled, Failed };

/// Waits until fd reports one of events (or an error/hang-up, which count as Ready so the
/// following call sees it), cancelFd (-1: none) becomes readable, or the deadline passes.
/// Cancellation wins over readiness. Failed leaves errno set.
WaitResult WaitForSocket(int fd, short events, int cancelFd, const Deadline& deadline);

} // namespace Vdapi
