// Named-pipe server end on POSIX: bind/listen/accept on a Unix stream socket.
#include "devices/platform/posix/XpPipeListenerPosix.h"

#include "devices/platform/CatchAllocation.h"
#include "devices/platform/posix/ErrnoResult.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/RunDirFiles.h"
#include "devices/platform/posix/UnixSocket.h"
#include "devices/platform/posix/XpPipeConnectionPosix.h"

#include <poll.h>
#include <sys/stat.h>

#include <cerrno>

namespace Vdapi {

namespace {

/// The full pipe path, system prefix included, may have at most 99 characters.
constexpr size_t kMaxListenerPath = 99;

/// True when a listener is alive behind the socket file at address.
bool listenerAlive(const UnixSocketAddress& address)
{
    UniqueFd probe = NewUnixStreamSocket(true);
    if (!probe)
        return false;
    if (::connect(probe.get(), address.get(), address.length()) == 0)
        return true;
    return errno == EAGAIN; // alive, only its queue is full
}

} // namespace

XpPipeListenerPosix::XpPipeListenerPosix(int backlog) : backlog_(backlog) {}

VdResult XpPipeListenerPosix::Create(const char* name)
{
    return CatchAllocation([&]() -> VdResult {
        if (socket_)
            return VDAPI_E_ATTACHED;
        if (VdResult r = CheckObjectName(name, kMaxListenerPath - RunDir::kPipePrefixLength); !isSuccess(r))
            return r;
        const std::string path = RunDir::pipe(name);
        if (VdResult r = EnsureDirectory(RunDir::root() + "/pipe"); !isSuccess(r))
            return r;
        UnixSocketAddress address;
        if (VdResult r = address.assign(path); !isSuccess(r))
            return r;
        UniqueFd s = NewUnixStreamSocket(true);
        if (!s)
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, "socket");
        if (::bind(s.get(), address.get(), address.length()) != 0) {
            if (errno != EADDRINUSE)
                return ResultFromErrno(errno, VDAPI_E_INTERNAL, "bind pipe");
            // A socket file is there: in use if someone listens, else a leftover to replace.
            if (listenerAlive(address))
                return VDAPI_E_IN_USE;
            ::unlink(path.c_str());
            if (::bind(s.get(), address.get(), address.length()) != 0)
                return ResultFromErrno(errno, VDAPI_E_INTERNAL, "bind pipe");
        }
        // The socket file gets the umask at bind; the pipe is for the owner and its group.
        if (::chmod(path.c_str(), 0660) != 0) {
            const VdResult r = ResultFromErrno(errno, VDAPI_E_INTERNAL, "chmod pipe");
            ::unlink(path.c_str());
            return r;
        }
        struct stat st {};
        const ino_t inode = ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
        if (::listen(s.get(), backlog_) != 0) {
            const VdResult r = ResultFromErrno(errno, VDAPI_E_INTERNAL, "listen pipe");
            ::unlink(path.c_str());
            return r;
        }
        if (!stopEvent_.create()) {
            const VdResult r = ResultFromErrno(errno, VDAPI_E_INTERNAL, "eventfd");
            ::unlink(path.c_str());
            return r;
        }
        socket_ = std::move(s);
        path_ = path;
        inode_ = inode;
        return VDAPI_OK;
    });
}

VdResult XpPipeListenerPosix::Accept(std::unique_ptr<IXpPipeConnection>& connection, uint32_t timeoutMs)
{
    connection.reset();
    if (!socket_)
        return VDAPI_E_NOT_INITIALIZED;
    const Deadline deadline = Deadline::afterMs(timeoutMs);
    for (;;) {
        if (stopped_.load())
            return VDAPI_E_CANCELLED;
        UniqueFd client(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (client) {
            std::unique_ptr<XpPipeConnectionPosix> adopted = XpPipeConnectionPosix::adopt(std::move(client));
            if (!adopted)
                return VDAPI_E_OUT_OF_RESOURCES;
            connection = std::move(adopted);
            return VDAPI_OK;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno != EAGAIN)
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, "accept pipe");
        switch (WaitForSocket(socket_.get(), POLLIN, stopEvent_.fd(), deadline)) {
        case WaitResult::Ready:
            break;
        case WaitResult::Cancelled:
            return VDAPI_E_CANCELLED;
        case WaitResult::TimedOut:
            return VDAPI_E_TIMEOUT;
        case WaitResult::Failed:
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, "poll listener");
        }
    }
}

void XpPipeListenerPosix::Stop()
{
    stopped_.store(true);
    stopEvent_.raise();
}

void XpPipeListenerPosix::Close()
{
    if (socket_) {
        struct stat st {};
        if (::stat(path_.c_str(), &st) == 0 && st.st_ino == inode_)
            ::unlink(path_.c_str());
        socket_.reset();
    }
    path_.clear();
    inode_ = 0;
    stopped_.store(false);
    stopEvent_.clear();
}

} // namespace Vdapi
