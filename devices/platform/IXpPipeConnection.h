// Client end of a local named pipe: a reliable byte stream to another process on this machine,
// with timeouts and a cancel signal that another thread can raise.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/platform/IInterface.h"

#include <cstdint>

namespace Vdapi {

/// One owner at a time: Init, Connect, Read, Write, Flush, ResetCancel and Close must not run
/// concurrently with each other. Cancel may be called from any thread at any time after Init
/// (it is the way to end a blocking Read or Write from outside).
class IXpPipeConnection : public IInterface {
public:
    /// Prepares the cancel signal and clears the cancel flag; may be called again to reset them.
    /// Does not block. Returns VDAPI_OK, or VDAPI_E_INTERNAL when the signal cannot be created.
    virtual VdResult Init() = 0;

    /// Connects to the pipe called name (a plain name, without any namespace prefix). While the
    /// pipe exists but is busy, waits up to 1000 ms and tries again, at most 10 attempts in all;
    /// blocks for that long at worst (a Cancel stops further attempts). Returns VDAPI_OK;
    /// VDAPI_E_IN_USE when already connected; VDAPI_E_BUF_TOO_SMALL when the name is too long
    /// (the full pipe path would reach 260 characters); VDAPI_E_INVALID_ARG for an empty name or
    /// one containing '/'; VDAPI_E_NOT_FOUND when the pipe does not exist or stayed busy.
    virtual VdResult Connect(const char* name) = 0;

    /// Discards every byte already waiting in the pipe. Does not block.
    /// Returns VDAPI_OK, or VDAPI_E_NOT_INITIALIZED when not connected.
    virtual VdResult Flush() = 0;

    /// Writes exactly length bytes, blocking at most timeoutMs (kXpInfinite: for ever).
    /// Returns VDAPI_OK; VDAPI_E_NOT_INITIALIZED when not connected; VDAPI_E_CANCELLED when the
    /// cancel flag is set or Cancel is called while waiting (a Cancel that breaks off a transfer
    /// the system had already taken on answers VDAPI_E_INTERNAL instead: the pipe's state is then
    /// unknown); VDAPI_E_TIMEOUT when nothing could
    /// be written in time; VDAPI_E_COMMUNICATION when only part was written (time-out) or the
    /// other end has gone; VDAPI_E_INTERNAL for any other failure.
    virtual VdResult Write(const void* buffer, uint32_t length, uint32_t timeoutMs) = 0;

    /// Reads exactly length bytes, blocking at most timeoutMs (kXpInfinite: for ever; 0: only
    /// what is already waiting). Returns VDAPI_OK; VDAPI_E_NOT_INITIALIZED when not connected;
    /// VDAPI_E_CANCELLED as for Write; VDAPI_E_TIMEOUT when no byte arrived in time;
    /// VDAPI_E_COMMUNICATION when fewer bytes than asked arrived (time-out after a partial read,
    /// or the other end closed); VDAPI_E_INTERNAL for any other failure.
    virtual VdResult Read(void* buffer, uint32_t length, uint32_t timeoutMs) = 0;

    /// Sets the cancel flag and wakes a blocked Read, Write or Connect. Every later Read/Write
    /// answers VDAPI_E_CANCELLED until ResetCancel. Never blocks; safe from any thread.
    virtual void Cancel() = 0;

    /// Clears the cancel flag and signal. Returns VDAPI_OK or VDAPI_E_NOT_INITIALIZED when not
    /// connected.
    virtual VdResult ResetCancel() = 0;

    /// Closes the connection (the other end sees end of stream); harmless when not connected.
    virtual void Close() = 0;

    /// True while connected.
    virtual bool IsOpen() const = 0;
};

} // namespace Vdapi
