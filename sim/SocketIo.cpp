// Unix-domain socket helpers of the simulator.
#include "sim/SocketIo.h"

#include "devices/platform/posix/UnixSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace vdsim {

// Control, driver and service sockets: owner and group only.
constexpr mode_t kSocketMode = 0660;

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
    // The socket file gets the process umask at bind; chmod it before anyone can connect.
    if (::bind(fd.get(), address.get(), address.length()) != 0 || ::chmod(path.c_str(), kSocketMode) != 0 ||
        ::listen(fd.get(), 64) != 0) {
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

bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return true;
}

namespace {

using SpinEnd = std::chrono::steady_clock::time_point;

/// Receives what has arrived, at most `n` bytes, waiting for at least one: bytes already there
/// are taken at once, and the wait (which also watches for a stop) comes only when there are
/// none. Until `spinEnd` it looks again instead of sleeping: a client busy sending its next
/// request is not waited for by sleeping, as being woken costs more than a few microseconds of
/// looking. The count; 0 at end of stream; -1 on error, stop or deadline.
ssize_t receiveWaiting(int fd, uint8_t* buf, size_t n, int stopFd, const Deadline& deadline, SpinEnd spinEnd)
{
    for (;;) {
        const ssize_t got = ::recv(fd, buf, n, MSG_DONTWAIT);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (std::chrono::steady_clock::now() < spinEnd) continue;
        if (WaitForSocket(fd, POLLIN, stopFd, deadline) != WaitResult::Ready) return -1;
    }
}

SpinEnd spinEndAfter(int spinMicros)
{
    return std::chrono::steady_clock::now() + std::chrono::microseconds(spinMicros);
}

} // namespace

bool readFull(int fd, void* buf, size_t n, int stopFd, int timeoutMs, int spinMicros)
{
    const Deadline deadline = Deadline::afterMs(timeoutMs < 0 ? Vdapi::kXpInfinite : uint32_t(timeoutMs));
    const SpinEnd spinEnd = spinEndAfter(spinMicros);
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        const ssize_t got = receiveWaiting(fd, p, n, stopFd, deadline, spinEnd);
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
        ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (WaitForSocket(fd, POLLOUT, stopFd, forever) != WaitResult::Ready) return false;
            continue;
        }
        if (put <= 0) return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}

bool StreamReader::read(void* buf, size_t n)
{
    auto* out = static_cast<uint8_t*>(buf);
    for (;;) {
        const size_t take = std::min(n, end_ - begin_);
        if (take > 0) std::memcpy(out, buffer_.data() + begin_, take);
        begin_ += take;
        out += take;
        n -= take;
        if (n == 0) return true;
        // The buffer is empty here. A part larger than it (a large batch) goes straight to its place.
        if (n >= kBufferSize) return readFull(fd_, out, n, stopFd_, -1, spinMicros_);
        if (buffer_.empty()) buffer_.resize(kBufferSize);
        begin_ = end_ = 0;
        const ssize_t got = receiveWaiting(fd_, buffer_.data(), buffer_.size(), stopFd_,
                                           Deadline::afterMs(Vdapi::kXpInfinite), spinEndAfter(spinMicros_));
        if (got <= 0) return false;
        end_ = size_t(got);
    }
}

} // namespace vdsim
