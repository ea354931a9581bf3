// Named-pipe server on Windows. A connect the client made before ConnectNamedPipe was called
// (ERROR_PIPE_CONNECTED) counts as accepted; a waiting ConnectNamedPipe survives an Accept that
// timed out, so no client is lost between two Accepts.
#include "devices/platform/windows/XpPipeListenerWindows.h"

#include "devices/platform/CatchAllocation.h"
#include "devices/platform/Xp.h"
#include "devices/platform/windows/PipePath.h"
#include "devices/platform/windows/XpPipeConnectionWindows.h"

namespace Vdapi {

namespace {

constexpr DWORD kPipeBufferSize = 64 * 1024;

} // namespace

XpPipeListenerWindows::XpPipeListenerWindows()
    : connected_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)), stopEvent_(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

VdResult XpPipeListenerWindows::newInstance(bool first)
{
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    instance_.reset(::CreateNamedPipeA(path_.c_str(), openMode, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize, 0, nullptr));
    if (instance_)
        return VDAPI_OK;
    const DWORD err = ::GetLastError();
    switch (err) {
    case ERROR_ACCESS_DENIED: // the name is another live server's (first instance refused)
    case ERROR_PIPE_BUSY:
        return VDAPI_E_IN_USE;
    case ERROR_INVALID_NAME:
        return VDAPI_E_INVALID_ARG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
        return VDAPI_E_OUT_OF_RESOURCES;
    default:
        VDAPI_LOG(Warning, "CreateNamedPipeA(%s) failed: Windows error %lu", path_.c_str(), err);
        return VDAPI_E_INTERNAL;
    }
}

VdResult XpPipeListenerWindows::Create(const char* name)
{
    return CatchAllocation([&]() -> VdResult {
        if (!path_.empty())
            return VDAPI_E_ATTACHED;
        std::string path;
        if (VdResult r = MakePipePath(name, kMaxPipeListenerPath, path); !isSuccess(r))
            return r;
        if (!connected_ || !stopEvent_)
            return VDAPI_E_INTERNAL;
        // A live server of that name: refused here too, where the system does not refuse a
        // second first instance (Wine). Waiting on the name has no effect on that server.
        if (::WaitNamedPipeA(path.c_str(), 1) || ::GetLastError() != ERROR_FILE_NOT_FOUND)
            return VDAPI_E_IN_USE;
        path_ = std::move(path);
        if (VdResult r = newInstance(true); !isSuccess(r)) {
            path_.clear();
            return r;
        }
        return VDAPI_OK;
    });
}

VdResult XpPipeListenerWindows::Accept(std::unique_ptr<IXpPipeConnection>& connection, uint32_t timeoutMs)
{
    if (path_.empty())
        return VDAPI_E_NOT_INITIALIZED;
    if (stopped_.load())
        return VDAPI_E_CANCELLED;
    if (!instance_ && !isSuccess(newInstance(false)))
        return VDAPI_E_INTERNAL;
    while (!connectPending_) {
        connect_ = OVERLAPPED{};
        connect_.hEvent = connected_.get();
        ::ResetEvent(connected_.get());
        const BOOL done = ::ConnectNamedPipe(instance_.get(), &connect_);
        const DWORD err = done ? ERROR_SUCCESS : ::GetLastError();
        if (err == ERROR_IO_PENDING)
            connectPending_ = true;
        else if (err == ERROR_SUCCESS || err == ERROR_PIPE_CONNECTED)
            break;
        else if (err == ERROR_NO_DATA) // a client came and went before we looked: offer the instance again
            ::DisconnectNamedPipe(instance_.get());
        else {
            VDAPI_LOG(Warning, "ConnectNamedPipe(%s) failed: Windows error %lu", path_.c_str(), err);
            return VDAPI_E_INTERNAL;
        }
    }
    if (connectPending_) {
        const HANDLE waits[] = {connected_.get(), stopEvent_.get()};
        const DWORD wait = ::WaitForMultipleObjects(2, waits, FALSE, timeoutMs == kXpInfinite ? INFINITE : timeoutMs);
        if (wait == WAIT_TIMEOUT)
            return VDAPI_E_TIMEOUT;
        if (wait == WAIT_OBJECT_0 + 1)
            return VDAPI_E_CANCELLED;
        if (wait != WAIT_OBJECT_0)
            return VDAPI_E_INTERNAL;
        connectPending_ = false;
        DWORD unused = 0;
        if (!::GetOverlappedResult(instance_.get(), &connect_, &unused, FALSE)) {
            ::DisconnectNamedPipe(instance_.get());
            return VDAPI_E_INTERNAL;
        }
    }
    auto accepted = XpPipeConnectionWindows::adopt(std::move(instance_));
    // The next client finds a fresh instance; when it cannot be made now, the next Accept tries again.
    newInstance(false);
    if (!accepted)
        return VDAPI_E_INTERNAL;
    connection = std::move(accepted);
    return VDAPI_OK;
}

void XpPipeListenerWindows::Stop()
{
    stopped_.store(true);
    if (stopEvent_)
        ::SetEvent(stopEvent_.get());
}

void XpPipeListenerWindows::cancelPendingConnect()
{
    if (!connectPending_)
        return;
    ::CancelIoEx(instance_.get(), &connect_);
    DWORD unused = 0;
    ::GetOverlappedResult(instance_.get(), &connect_, &unused, TRUE);
    connectPending_ = false;
}

void XpPipeListenerWindows::Close()
{
    cancelPendingConnect();
    instance_.reset();
    path_.clear();
    stopped_.store(false);
    if (stopEvent_)
        ::ResetEvent(stopEvent_.get());
}

} // namespace Vdapi
