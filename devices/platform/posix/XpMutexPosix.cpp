// Process-local recursive mutex on POSIX threads.
#include "devices/platform/posix/XpMutexPosix.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/ErrnoResult.h"

#include <new>

namespace Vdapi {

VdResult XpMutexPosix::Init()
{
    if (mutex_)
        return VDAPI_E_IN_USE;
    std::unique_ptr<pthread_mutex_t> mutex(new (std::nothrow) pthread_mutex_t);
    if (!mutex)
        return VDAPI_E_OUT_OF_RESOURCES;
    pthread_mutexattr_t attr;
    if (const int rc = pthread_mutexattr_init(&attr); rc != 0)
        return ResultFromErrno(rc, VDAPI_E_OUT_OF_RESOURCES, "pthread_mutexattr_init");
    // Recursive, and only the owner may unlock: the semantics of the system mutex it stands for.
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    const int rc = pthread_mutex_init(mutex.get(), &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0)
        return ResultFromErrno(rc, VDAPI_E_OUT_OF_RESOURCES, "pthread_mutex_init");
    mutex_ = std::move(mutex);
    return VDAPI_OK;
}

VdResult XpMutexPosix::Lock()
{
    if (!mutex_)
        return VDAPI_E_NOT_INITIALIZED;
    const int rc = pthread_mutex_lock(mutex_.get());
    if (rc != 0)
        return ResultFromErrno(rc, VDAPI_E_NO_PERMISSION, "lock mutex");
    ownership_.acquired();
    return VDAPI_OK;
}

VdResult XpMutexPosix::Unlock()
{
    if (!mutex_)
        return VDAPI_E_NOT_INITIALIZED;
    if (!ownership_.ownedByCaller())
        return VDAPI_E_NOT_LOCKED;
    ownership_.releasing();
    return pthread_mutex_unlock(mutex_.get()) == 0 ? VDAPI_OK : VDAPI_E_NOT_LOCKED;
}

void XpMutexPosix::Close()
{
    if (!mutex_)
        return;
    ownership_.reset();
    if (pthread_mutex_destroy(mutex_.get()) != 0) {
        // Still owned: destroying it would be undefined, so its storage is deliberately kept.
        VDAPI_LOG(Warning, "mutex closed while owned; its storage is kept");
        (void)mutex_.release();
        return;
    }
    mutex_.reset();
}

} // namespace Vdapi
