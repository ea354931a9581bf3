// Unnamed process-local mutex. Recursive for its owning thread, like the system mutex it
// stands for; only the owner may unlock it.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/platform/IInterface.h"

namespace Vdapi {

class IXpMutex : public IInterface {
public:
    /// Creates the mutex. Returns VDAPI_OK; VDAPI_E_IN_USE when already initialised;
    /// VDAPI_E_OUT_OF_RESOURCES when the system refuses.
    virtual VdResult Init() = 0;

    /// Blocks until the calling thread owns the mutex (for ever; recursive). Returns VDAPI_OK;
    /// VDAPI_E_NOT_INITIALIZED; VDAPI_E_NO_PERMISSION when the wait fails.
    virtual VdResult Lock() = 0;

    /// Releases one level of ownership. Returns VDAPI_OK; VDAPI_E_NOT_INITIALIZED;
    /// VDAPI_E_NOT_LOCKED when the calling thread does not own it.
    virtual VdResult Unlock() = 0;

    /// Destroys the mutex; it must not be owned. Harmless when not initialised.
    virtual void Close() = 0;
};

} // namespace Vdapi
