// Process-local mutex on a Windows mutex object.
#include "devices/platform/windows/XpMutexWindows.h"

namespace Vdapi {

VdResult XpMutexWindows::Init()
{
    if (mutex_)
        return VDAPI_E_IN_USE;
    mutex_.reset(::CreateMutexA(nullptr, FALSE, nullptr));
    return mutex_ ? VDAPI_OK : VDAPI_E_OUT_OF_RESOURCES;
}

VdResult XpMutexWindows::Lock()
{
    if (!mutex_)
        return VDAPI_E_NOT_INITIALIZED;
    // A thread that ended while holding it abandoned it: the next owner still gets it.
    const DWORD rc = ::WaitForSingleObject(mutex_.get(), INFINITE);
    return rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED ? VDAPI_OK : VDAPI_E_NO_PERMISSION;
}

VdResult XpMutexWindows::Unlock()
{
    if (!mutex_)
        return VDAPI_E_NOT_INITIALIZED;
    // The system refuses a release by a thread that does not own it (ERROR_NOT_OWNER).
    return ::ReleaseMutex(mutex_.get()) ? VDAPI_OK : VDAPI_E_NOT_LOCKED;
}

} // namespace Vdapi
