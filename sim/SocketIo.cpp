// Unix-domain socket helpers of the simulator.
#include "sim/SocketIo.h"

#include "devices/platform/posix/UnixSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vdsim {

using Vdapi::Deadline;
using Vdapi::WaitForSocket;
using Vdapi::WaitResult;

UniqueFd listenUnix(const std::string& path, std::string& error)
{
    Vdapi::UnixSocketAddress address;
    if (address.assign(path) != 0) {
        error = path + ": socket path cannot be used";
        return {};
    }
    UniqueFd fd = Vdapi::NewUnixStreamSocket(false);
    if (!fd) {
        error = std::string("socket: ") + std::strerror(errno);
        return {};
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
    if (::bind(fd.get(), address.get(), address.length()) != 0 || ::listen(fd.get(), 64) != 0) {
        error = path + ": " + std::strerror(errno);
        return {};
    }
    return fd;
}

UniqueFd connectUnix(const std::string& path)
{
    Vdapi::UnixSocketAddress address;
    if (address.assign(path) != 0) {
        errno = ENAMETOOLONG;
        return {};
    }
    UniqueFd fd = Vdapi::NewUnixStreamSocket(false);
    if (!fd || ::connect(fd.get(), address.get(), address.length()) != 0) return {};
    return fd;
}

bool readFull(int fd, void* buf, size_t n, int stopFd, int timeoutMs)
{
    const Deadline deadline = Deadline::afterMs(timeoutMs < 0 ? Vdapi::kXpInfinite : uint32_t(timeoutMs));
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        if (WaitForSocket(fd, POLLIN, stopFd, deadline) != WaitResult::Ready) return false;
        ssize_t got = ::recv(fd, p, n, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) return false;
        p += got;
        n -= size_t(got);
    }
    return true;
}

long readSome(int fd, void* buf, size_t n, int stopFd)
{
    const Deadline forever = Deadline::afterMs(Vdapi::kXpInfinite);
    for (;;) {
        if (WaitForSocket(fd, POLLIN, stopFd, forever) != WaitResult::Ready) return -1;
        ssize_t got = ::recv(fd, buf, n, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return got < 0 ? -1 : long(got);
    }
}

bool writeFull(int fd, const void* buf, size_t n, int stopFd)
{
    const Deadline forever = Deadline::afterMs(Vdapi::kXpInfinite);
    auto* p = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        if (WaitForSocket(fd, POLLOUT, stopFd, forever) != WaitResult::Ready) return false;
        ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (put <= 0) return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}

} // namespace vdsim
