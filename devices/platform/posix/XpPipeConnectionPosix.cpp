// Named-pipe client end on POSIX: Unix stream socket with deadlines and an eventfd cancel signal.
#include "devices/platform/posix/XpPipeConnectionPosix.h"

#include "devices/platform/Xp.h"
#include "devices/platform/CatchAllocation.h"
#include "devices/platform/posix/ErrnoResult.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/RunDirFiles.h"
#include "devices/platform/posix/UnixSocket.h"

#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace Vdapi {

namespace {

/// The full pipe path, system prefix included, must stay below 260.
constexpr size_t kMaxPipePath = 259;
constexpr size_t kFlushChunk = 100;

/// Result of a failed transfer step once the wait or the call has told what happened.
VdResult transferFailure(WaitResult wait, uint32_t done)
{
    switch (wait) {
    case WaitResult::Cancelled:
        return VDAPI_E_CANCELLED;
    case WaitResult::TimedOut:
        return done == 0 ? VDAPI_E_TIMEOUT : VDAPI_E_COMMUNICATION;
    case WaitResult::Failed:
        return ResultFromErrno(errno, VDAPI_E_INTERNAL, "poll pipe");
    case WaitResult::Ready:
        break;
    }
    return VDAPI_E_INTERNAL;
}

} // namespace

XpPipeConnectionPosix::XpPipeConnectionPosix(std::chrono::milliseconds busyWait) : busyWait_(busyWait) {}

std::unique_ptr<XpPipeConnectionPosix> XpPipeConnectionPosix::adopt(UniqueFd connectedSocket)
{
    std::unique_ptr<XpPipeConnectionPosix> connection(new (std::nothrow) XpPipeConnectionPosix());
    if (!connection || !isSuccess(connection->Init()))
        return nullptr;
    connection->socket_ = std::move(connectedSocket);
    return connection;
}

VdResult XpPipeConnectionPosix::Init()
{
    cancelled_.store(false);
    cancelEvent_.clear();
    if (!cancelEvent_.create())
        return ResultFromErrno(errno, VDAPI_E_INTERNAL, "eventfd");
    return VDAPI_OK;
}

VdResult XpPipeConnectionPosix::connectOnce(const char* name, bool& busy)
{
    busy = false;
    UnixSocketAddress address;
    if (VdResult r = address.assign(RunDir::pipe(name)); !isSuccess(r))
        return r == VDAPI_E_INTERNAL ? VDAPI_E_NOT_FOUND : r; // the folder's errno, mapped
    UniqueFd s = NewUnixStreamSocket(true);
    if (!s)
        return ResultFromErrno(errno, VDAPI_E_NOT_FOUND, "socket");
    if (::connect(s.get(), address.get(), address.length()) != 0) {
        const int err = errno;
        // A refused connect (socket file without a listener) or a full accept queue is a busy pipe.
        if (err == ECONNREFUSED || err == EAGAIN) {
            busy = true;
            return VDAPI_E_NOT_FOUND;
        }
        return ResultFromErrno(err, VDAPI_E_NOT_FOUND, "connect pipe");
    }
    socket_ = std::move(s);
    return VDAPI_OK;
}

VdResult XpPipeConnectionPosix::Connect(const char* name)
{
    return CatchAllocation([&]() -> VdResult {
        lastConnectAttempts_ = 0;
        if (socket_)
            return VDAPI_E_IN_USE;
        if (VdResult r = CheckObjectName(name, kMaxPipePath - RunDir::kPipePrefixLength); !isSuccess(r))
            return r;
        for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
            lastConnectAttempts_ = attempt;
            bool busy = false;
            const VdResult r = connectOnce(name, busy);
            if (!busy || attempt == kConnectAttempts)
                return r;
            // Busy: give the server time to accept, unless someone cancels.
            if (cancelled_.load())
                return VDAPI_E_NOT_FOUND;
            if (cancelEvent_.valid()) {
                const Deadline deadline = Deadline::afterMs(static_cast<uint32_t>(busyWait_.count()));
                if (WaitForSocket(cancelEvent_.fd(), POLLIN, -1, deadline) == WaitResult::Ready)
                    return VDAPI_E_NOT_FOUND;
            }
            else {
                ::poll(nullptr, 0, static_cast<int>(busyWait_.count()));
            }
        }
        return VDAPI_E_NOT_FOUND;
    });
}

VdResult XpPipeConnectionPosix::Flush()
{
    if (!socket_)
        return VDAPI_E_NOT_INITIALIZED;
    // Discard only what is waiting now, so a peer that keeps writing cannot hold us here.
    int waiting = 0;
    if (::ioctl(socket_.get(), FIONREAD, &waiting) != 0)
        waiting = 0;
    char chunk[kFlushChunk];
    while (waiting > 0) {
        const ssize_t n =
            ::recv(socket_.get(), chunk, std::min(sizeof(chunk), static_cast<size_t>(waiting)), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        waiting -= static_cast<int>(n);
    }
    return VDAPI_OK;
}

VdResult XpPipeConnectionPosix::transfer(bool reading, uint8_t* bytes, uint32_t length, uint32_t timeoutMs)
{
    if (!socket_)
        return VDAPI_E_NOT_INITIALIZED;
    if (cancelled_.load())
        return VDAPI_E_CANCELLED;
    if (bytes == nullptr && length > 0)
        return VDAPI_E_INVALID_BUF;
    const Deadline deadline = Deadline::afterMs(timeoutMs);
    // The service answers within microseconds: a read looks again for a short while before it
    // sleeps, which costs less than being woken.
    const auto spinEnd = std::chrono::steady_clock::now() + kReadSpin;
    uint32_t done = 0;
    while (done < length) {
        const ssize_t n =
            reading ? ::recv(socket_.get(), bytes + done, length - done, MSG_DONTWAIT)
                    : ::send(socket_.get(), bytes + done, length - done, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n == 0)
            return VDAPI_E_COMMUNICATION; // the other end closed before all bytes arrived
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, reading ? "recv pipe" : "send pipe");
        if (reading && std::chrono::steady_clock::now() < spinEnd && !cancelled_.load())
            continue;
        const WaitResult wait =
            WaitForSocket(socket_.get(), reading ? POLLIN : POLLOUT, cancelEvent_.fd(), deadline);
        if (wait != WaitResult::Ready)
            return transferFailure(wait, done);
    }
    return VDAPI_OK;
}

VdResult XpPipeConnectionPosix::Write(const void* buffer, uint32_t length, uint32_t timeoutMs)
{
    // send never writes through the pointer; one loop serves both directions.
    return transfer(false, static_cast<uint8_t*>(const_cast<void*>(buffer)), length, timeoutMs);
}

VdResult XpPipeConnectionPosix::Read(void* buffer, uint32_t length, uint32_t timeoutMs)
{
    return transfer(true, static_cast<uint8_t*>(buffer), length, timeoutMs);
}

void XpPipeConnectionPosix::Cancel()
{
    cancelled_.store(true);
    cancelEvent_.raise();
}

VdResult XpPipeConnectionPosix::ResetCancel()
{
    if (!socket_)
        return VDAPI_E_NOT_INITIALIZED;
    cancelled_.store(false);
    cancelEvent_.clear();
    return VDAPI_OK;
}

void XpPipeConnectionPosix::Close()
{
    socket_.reset();
}

} // namespace Vdapi
