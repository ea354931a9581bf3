// Server end of a local named pipe: creates the pipe and accepts client connections.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/platform/IInterface.h"
#include "devices/platform/IXpPipeConnection.h"

#include <cstdint>
#include <memory>

namespace Vdapi {

/// One owner at a time, except Stop, which may be called from any thread to end a blocked
/// Accept.
class IXpPipeListener : public IInterface {
public:
    /// Creates the pipe called name and starts listening. Does not block. Returns VDAPI_OK;
    /// VDAPI_E_ATTACHED when this listener already has a pipe; VDAPI_E_BUF_TOO_SMALL when the
    /// full pipe path would exceed 99 characters; VDAPI_E_INVALID_ARG for an empty name or one
    /// containing '/'; VDAPI_E_IN_USE when another live listener owns the name;
    /// VDAPI_E_NO_PERMISSION, VDAPI_E_OUT_OF_RESOURCES or VDAPI_E_INTERNAL when the system
    /// refuses.
    virtual VdResult Create(const char* name) = 0;

    /// Waits at most timeoutMs (kXpInfinite: for ever) for a client and hands its connection to
    /// connection (connected; Init already done). Returns VDAPI_OK; VDAPI_E_NOT_INITIALIZED
    /// without a pipe; VDAPI_E_TIMEOUT; VDAPI_E_CANCELLED after Stop; VDAPI_E_INTERNAL.
    virtual VdResult Accept(std::unique_ptr<IXpPipeConnection>& connection, uint32_t timeoutMs) = 0;

    /// Ends a blocked Accept and makes later Accepts answer VDAPI_E_CANCELLED until Close.
    /// Never blocks; safe from any thread.
    virtual void Stop() = 0;

    /// Removes the pipe; connections already accepted stay open. Harmless when not created.
    virtual void Close() = 0;
};

} // namespace Vdapi
