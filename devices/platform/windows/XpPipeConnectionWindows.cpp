// Named-pipe connection on Windows: overlapped ReadFile/WriteFile waited for together with the
// cancel event; reads with a finite time-out first poll PeekNamedPipe so a cancel is seen
// within a millisecond.
#include "devices/platform/windows/XpPipeConnectionWindows.h"

#include "devices/platform/CatchAllocation.h"
#include "devices/platform/Xp.h"
#include "devices/platform/windows/PipePath.h"

#include <algorithm>
#include <new>

namespace Vdapi {

namespace {

constexpr DWORD kFlushChunk = 100;

DWORD remainingMs(ULONGLONG start, uint32_t timeoutMs)
{
    if (timeoutMs == kXpInfinite)
        return INFINITE;
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    return elapsed >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - elapsed);
}

} // namespace

std::unique_ptr<XpPipeConnectionWindows> XpPipeConnectionWindows::adopt(UniqueHandle connectedInstance)
{
    std::unique_ptr<XpPipeConnectionWindows> connection(new (std::nothrow) XpPipeConnectionWindows());
    if (!connection || !isSuccess(connection->Init())) {
        ::DisconnectNamedPipe(connectedInstance.get());
        return nullptr;
    }
    connection->pipe_ = std::move(connectedInstance);
    connection->serverEnd_ = true;
    return connection;
}

VdResult XpPipeConnectionWindows::Init()
{
    cancelled_.store(false);
    if (!completion_)
        completion_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (cancelEvent_)
        ::ResetEvent(cancelEvent_.get());
    else
        cancelEvent_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!completion_ || !cancelEvent_) {
        VDAPI_LOG(Error, "CreateEventA for a pipe failed: Windows error %lu", ::GetLastError());
        return VDAPI_E_INTERNAL;
    }
    return VDAPI_OK;
}

VdResult XpPipeConnectionWindows::Connect(const char* name)
{
    return CatchAllocation([&]() -> VdResult {
        lastConnectAttempts_ = 0;
        if (pipe_)
            return VDAPI_E_IN_USE;
        std::string path;
        if (VdResult r = MakePipePath(name, kMaxPipeClientPath, path); !isSuccess(r))
            return r;
        if (!completion_ && !isSuccess(Init()))
            return VDAPI_E_INTERNAL;
        for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
            lastConnectAttempts_ = attempt;
            pipe_.reset(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr));
            if (pipe_) {
                // Read whole messages where the server writes them (a byte pipe refuses; harmless).
                DWORD mode = PIPE_READMODE_MESSAGE;
                ::SetNamedPipeHandleState(pipe_.get(), &mode, nullptr, nullptr);
                return VDAPI_OK;
            }
            const DWORD err = ::GetLastError();
            if (err != ERROR_PIPE_BUSY || attempt == kConnectAttempts || cancelled_.load())
                return VDAPI_E_NOT_FOUND;
            // Every instance is taken: wait until the server offers one again.
            ::WaitNamedPipeA(path.c_str(), busyWaitMs_);
        }
        return VDAPI_E_NOT_FOUND;
    });
}

VdResult XpPipeConnectionWindows::Flush()
{
    if (!pipe_)
        return VDAPI_E_NOT_INITIALIZED;
    // Discard only what is waiting now, so a peer that keeps writing cannot hold us here.
    DWORD waiting = 0;
    if (!::PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &waiting, nullptr))
        return VDAPI_OK;
    uint8_t chunk[kFlushChunk];
    while (waiting > 0) {
        DWORD moved = 0;
        if (!isSuccess(transferOnce(true, chunk, std::min(waiting, kFlushChunk), 0, moved)) || moved == 0)
            break;
        waiting -= std::min(waiting, moved);
    }
    return VDAPI_OK;
}

VdResult XpPipeConnectionWindows::transferOnce(bool reading, uint8_t* bytes, uint32_t length, DWORD waitMs,
                                               DWORD& moved)
{
    moved = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = completion_.get();
    ::ResetEvent(completion_.get());
    const BOOL started = reading ? ::ReadFile(pipe_.get(), bytes, length, nullptr, &overlapped)
                                 : ::WriteFile(pipe_.get(), bytes, length, nullptr, &overlapped);
    if (!started) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_IO_PENDING) {
            const HANDLE waits[] = {completion_.get(), cancelEvent_.get()};
            const DWORD wait = ::WaitForMultipleObjects(2, waits, FALSE, waitMs);
            if (wait != WAIT_OBJECT_0) {
                // Time-out, cancel or a failed wait: take the I/O back before the buffer goes away.
                ::CancelIoEx(pipe_.get(), &overlapped);
                if (::GetOverlappedResult(pipe_.get(), &overlapped, &moved, TRUE) ||
                    ::GetLastError() == ERROR_MORE_DATA)
                    return VDAPI_OK; // it ended before the cancel reached it
                moved = 0;
                return wait == WAIT_TIMEOUT ? VDAPI_E_TIMEOUT : VDAPI_E_INTERNAL;
            }
        } else if (!(reading && err == ERROR_MORE_DATA)) {
            // The transfer never started (a pipe whose other end is gone fails here at once):
            // there is no I/O whose result could be asked for.
            return failedTransfer(reading, err);
        }
    }
    if (::GetOverlappedResult(pipe_.get(), &overlapped, &moved, FALSE))
        return VDAPI_OK;
    const DWORD err = ::GetLastError();
    if (reading && err == ERROR_MORE_DATA)
        return VDAPI_OK; // part of a longer message: the rest is read next
    moved = 0;
    return failedTransfer(reading, err);
}

VdResult XpPipeConnectionWindows::failedTransfer(bool reading, DWORD err)
{
    if (err == ERROR_BROKEN_PIPE || err == ERROR_NO_DATA || err == ERROR_PIPE_NOT_CONNECTED)
        return VDAPI_E_COMMUNICATION;
    VDAPI_LOG(Warning, "%s on a pipe failed: Windows error %lu", reading ? "ReadFile" : "WriteFile", err);
    return VDAPI_E_INTERNAL;
}

VdResult XpPipeConnectionWindows::waitForData(ULONGLONG start, uint32_t timeoutMs)
{
    for (;;) {
        DWORD waiting = 0;
        if (!::PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &waiting, nullptr)) {
            const DWORD err = ::GetLastError();
            return err == ERROR_BROKEN_PIPE ? VDAPI_E_COMMUNICATION : VDAPI_E_INTERNAL;
        }
        if (waiting > 0)
            return VDAPI_OK;
        if (remainingMs(start, timeoutMs) == 0)
            return VDAPI_E_TIMEOUT;
        if (::WaitForSingleObject(cancelEvent_.get(), 1) == WAIT_OBJECT_0)
            return VDAPI_E_CANCELLED;
    }
}

VdResult XpPipeConnectionWindows::transfer(bool reading, uint8_t* bytes, uint32_t length, uint32_t timeoutMs)
{
    if (!pipe_)
        return VDAPI_E_NOT_INITIALIZED;
    if (cancelled_.load())
        return VDAPI_E_CANCELLED;
    if (bytes == nullptr && length > 0)
        return VDAPI_E_INVALID_BUF;
    const ULONGLONG start = ::GetTickCount64();
    uint32_t done = 0;
    // A read or write may move fewer bytes than asked (one message of the other end, or what the
    // pipe buffer took): go on until all are moved or the time is up.
    while (done < length) {
        VdResult r = VDAPI_OK;
        if (reading && timeoutMs != kXpInfinite)
            r = waitForData(start, timeoutMs);
        DWORD moved = 0;
        if (isSuccess(r))
            r = transferOnce(reading, bytes + done, length - done, remainingMs(start, timeoutMs), moved);
        if (!isSuccess(r))
            return done > 0 && r != VDAPI_E_CANCELLED ? VDAPI_E_COMMUNICATION : r;
        if (moved == 0 && !reading)
            return VDAPI_E_COMMUNICATION;
        done += moved;
        if (done < length && remainingMs(start, timeoutMs) == 0)
            return VDAPI_E_COMMUNICATION;
    }
    return VDAPI_OK;
}

VdResult XpPipeConnectionWindows::Write(const void* buffer, uint32_t length, uint32_t timeoutMs)
{
    // WriteFile never writes through the pointer; one loop serves both directions.
    return transfer(false, static_cast<uint8_t*>(const_cast<void*>(buffer)), length, timeoutMs);
}

VdResult XpPipeConnectionWindows::Read(void* buffer, uint32_t length, uint32_t timeoutMs)
{
    return transfer(true, static_cast<uint8_t*>(buffer), length, timeoutMs);
}

void XpPipeConnectionWindows::Cancel()
{
    cancelled_.store(true);
    if (cancelEvent_)
        ::SetEvent(cancelEvent_.get());
}

VdResult XpPipeConnectionWindows::ResetCancel()
{
    if (!pipe_)
        return VDAPI_E_NOT_INITIALIZED;
    cancelled_.store(false);
    ::ResetEvent(cancelEvent_.get());
    return VDAPI_OK;
}

void XpPipeConnectionWindows::Close()
{
    if (pipe_ && serverEnd_)
        ::DisconnectNamedPipe(pipe_.get());
    pipe_.reset();
    serverEnd_ = false;
}

} // namespace Vdapi
