// A mutex shared between processes under a name, created by another process (for example the
// device service guarding its device list). Abandonment by a dead owner is survivable.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/platform/IInterface.h"

#include <cstdint>

namespace Vdapi {

/// Longest name IXpNamedMutex::Open accepts.
inline constexpr size_t kXpMaxMutexName = 99;

/// One owner at a time; ownership belongs to the thread that locked through this object
/// (recursive), and only that thread may unlock.
class IXpNamedMutex : public IInterface {
public:
    /// Closes any previous mutex, then opens the existing mutex called name. Does not block.
    /// Returns VDAPI_OK; VDAPI_E_BUF_TOO_SMALL for a name longer than kXpMaxMutexName;
    /// VDAPI_E_INVALID_ARG for an empty name or one containing '/'; VDAPI_E_NOT_FOUND when no
    /// such mutex exists (or its creator has not finished creating it);
    /// VDAPI_E_NO_PERMISSION for every other failure.
    virtual VdResult Open(const char* name) = 0;

    /// Blocks at most timeoutMs (kXpInfinite: for ever) to own the mutex. Taking over a mutex
    /// whose owner died while holding it counts as success. Returns VDAPI_OK;
    /// VDAPI_E_NOT_INITIALIZED when not open; VDAPI_E_TIMEOUT; VDAPI_E_NO_PERMISSION otherwise.
    virtual VdResult Lock(uint32_t timeoutMs) = 0;

    /// Releases one level of ownership. Returns VDAPI_OK; VDAPI_E_NOT_INITIALIZED;
    /// VDAPI_E_NOT_LOCKED when the calling thread does not own it.
    virtual VdResult Unlock() = 0;

    /// Closes the mutex (without releasing an ownership still held). Harmless when not open.
    virtual void Close() = 0;
};

} // namespace Vdapi
