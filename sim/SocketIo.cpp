// Unix-domain socket helpers.
#include "sim/SocketIo.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vdsim {

void UniqueFd::reset(int fd)
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

bool makeAddress(const std::string& path, sockaddr_un& addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

/// Waits until `fd` is ready for `events`; false on stop, timeout or error.
bool waitReady(int fd, short events, int stopFd, std::chrono::steady_clock::time_point deadline, bool bounded)
{
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        int timeout = -1;
        if (bounded) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) return false;
            timeout = int(left);
        }
        int rc = ::poll(p, stopFd >= 0 ? 2 : 1, timeout);
        if (rc < 0 && errno == EINTR) continue;
        if (rc <= 0) return false;
        if (stopFd >= 0 && (p[1].revents & POLLIN)) return false;
        if (p[0].revents) return true; // readable, writable, hang-up or error: the I/O call tells
    }
}

} // namespace

UniqueFd listenUnix(const std::string& path, std::string& error)
{
    sockaddr_un addr;
    if (!makeAddress(path, addr)) {
        error = path + ": socket path too long";
        return {};
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        error = std::string("socket: ") + std::strerror(errno);
        return {};
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 64) != 0) {
        error = path + ": " + std::strerror(errno);
        return {};
    }
    return fd;
}

UniqueFd connectUnix(const std::string& path)
{
    sockaddr_un addr;
    if (!makeAddress(path, addr)) {
        errno = ENAMETOOLONG;
        return {};
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return {};
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
    return fd;
}

bool readFull(int fd, void* buf, size_t n, int stopFd, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        if (!waitReady(fd, POLLIN, stopFd, deadline, timeoutMs >= 0)) return false;
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
    for (;;) {
        if (!waitReady(fd, POLLIN, stopFd, {}, false)) return -1;
        ssize_t got = ::recv(fd, buf, n, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return got < 0 ? -1 : long(got);
    }
}

bool writeFull(int fd, const void* buf, size_t n, int stopFd)
{
    auto* p = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        if (!waitReady(fd, POLLOUT, stopFd, {}, false)) return false;
        ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (put <= 0) return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}

} // namespace vdsim
