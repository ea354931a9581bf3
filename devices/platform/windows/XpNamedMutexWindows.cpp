// Named mutex on Windows: open, wait (an abandoned mutex is taken over), release.
#include "devices/platform/windows/XpNamedMutexWindows.h"

#include "devices/platform/Xp.h"
#include "devices/platform/windows/ObjectName.h"

namespace Vdapi {

VdResult XpNamedMutexWindows::Open(const char* name)
{
    Close();
    if (VdResult r = CheckObjectName(name, kXpMaxMutexName); !isSuccess(r))
        return r;
    mutex_.reset(::OpenMutexA(SYNCHRONIZE, FALSE, name));
    if (mutex_)
        return VDAPI_OK;
    const DWORD err = ::GetLastError();
    // ERROR_PATH_NOT_FOUND: a namespace prefix ("Local\", "Global\") with nothing under it.
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
        return VDAPI_E_NOT_FOUND;
    VDAPI_LOG(Warning, "OpenMutexA(%s) failed: Windows error %lu", name, static_cast<unsigned long>(err));
    return VDAPI_E_NO_PERMISSION;
}

VdResult XpNamedMutexWindows::Lock(uint32_t timeoutMs)
{
    if (!mutex_)
        return VDAPI_E_NOT_INITIALIZED;
    const DWORD rc = ::WaitForSingleObject(mutex_.get(), timeoutMs == kXpInfinite ? INFINITE : timeoutMs);
    switch (rc) {
    case WAIT_OBJECT_0:
        return VDAPI_OK;
    case WAIT_ABANDONED:
        // The previous owner ended while holding it: this thread owns it now.
        VDAPI_LOG(Info, "named mutex abandoned by its previous owner; taken over");
        return VDAPI_OK;
    case WAIT_TIMEOUT:
        return VDAPI_E_TIMEOUT;
    default:
        return VDAPI_E_NO_PERMISSION;
    }
}

VdResult XpNamedMutexWindows::Unlock()
{
    if (!mutex_)
        return VDAPI_E_NOT_INITIALIZED;
    return ::ReleaseMutex(mutex_.get()) ? VDAPI_OK : VDAPI_E_NOT_LOCKED;
}

} // namespace Vdapi
