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

enum class WaitResult { Ready, TimedOut, Cancelled, Failed };

/// Waits until fd reports one of events (or an error/hang-up, which count as Ready so the
/// following call sees it), cancelFd (-1: none) becomes readable, or the deadline passes.
/// Cancellation wins over readiness. Failed leaves errno set.
WaitResult WaitForSocket(int fd, short events, int cancelFd, const Deadline& deadline);

} // namespace Vdapi
