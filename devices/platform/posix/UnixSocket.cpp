// Unix-domain stream socket addressing, creation and deadline waits.
#include "devices/platform/posix/UnixSocket.h"

#include "devices/platform/posix/ErrnoResult.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <cstring>

namespace Vdapi {

VdResult UnixSocketAddress::assign(const std::string& path)
{
    address_ = {};
    address_.sun_family = AF_UNIX;
    folder_.reset();
    std::string target = path;
    if (target.size() >= sizeof(address_.sun_path)) {
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            return VDAPI_E_BUF_TOO_SMALL;
        const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
        folder_.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder_)
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, "open socket folder");
        target = "/proc/self/fd/" + std::to_string(folder_.get()) + path.substr(slash);
        if (target.size() >= sizeof(address_.sun_path)) {
            folder_.reset();
            return VDAPI_E_BUF_TOO_SMALL;
        }
    }
    std::memcpy(address_.sun_path, target.data(), target.size());
    length_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + target.size() + 1);
    return VDAPI_OK;
}

UniqueFd NewUnixStreamSocket(bool nonBlocking)
{
    return UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
}

ssize_t ReceiveWithDescriptor(int socket, void* bytes, size_t n, UniqueFd& passed)
{
    passed.reset();
    iovec iov{bytes, n};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC | MSG_WAITALL);
    while (got < 0 && errno == EINTR);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && c->cmsg_len == CMSG_LEN(sizeof(int))) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
            passed.reset(fd);
        }
    return got;
}

ssize_t SendWithDescriptor(int socket, const void* bytes, size_t n, int fd)
{
    iovec iov{const_cast<void*>(bytes), n};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    ssize_t sent;
    do
        sent = ::sendmsg(socket, &msg, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent;
}

WaitResult WaitForSocket(int fd, short events, int cancelFd, const Deadline& deadline)
{
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
        const nfds_t count = cancelFd >= 0 ? 2 : 1;
        const int n = ::poll(fds, count, deadline.pollTimeoutMs());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return WaitResult::Failed;
        }
        if (count == 2 && fds[1].revents != 0)
            return WaitResult::Cancelled;
        if (fds[0].revents != 0)
            return WaitResult::Ready;
        if (deadline.passed())
            return WaitResult::TimedOut;
    }
}

} // namespace Vdapi
