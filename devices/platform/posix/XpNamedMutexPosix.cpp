// Named mutex on POSIX: opens, locks (taking over abandoned owners) and creates mutex files.
#include "devices/platform/posix/XpNamedMutexPosix.h"

#include "devices/platform/Xp.h"
#include "devices/platform/CatchAllocation.h"
#include "devices/platform/posix/ErrnoResult.h"
#include "devices/platform/posix/RunDirFiles.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <new>

namespace Vdapi {

namespace {

unsigned readyWord(const RunDir::NamedMutexFile* file)
{
    return __atomic_load_n(&file->ready, __ATOMIC_ACQUIRE);
}

} // namespace

VdResult XpNamedMutexPosix::Open(const char* name)
{
    return CatchAllocation([&]() -> VdResult {
        Close();
        if (VdResult r = CheckObjectName(name, kXpMaxMutexName); !isSuccess(r))
            return r;
        const std::string path = RunDir::mutex(name);
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
        if (!fd) {
            const int err = errno;
            if (err == ENOENT || err == ENOTDIR)
                return VDAPI_E_NOT_FOUND;
            return ResultFromErrno(err, VDAPI_E_NO_PERMISSION, "open named mutex");
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0)
            return ResultFromErrno(errno, VDAPI_E_NO_PERMISSION, "fstat named mutex");
        if (!S_ISREG(st.st_mode))
            return VDAPI_E_NO_PERMISSION;
        // A shorter file must not be mapped: touching past its end would fault.
        if (static_cast<size_t>(st.st_size) < sizeof(RunDir::NamedMutexFile)) {
            VDAPI_LOG(Warning, "named mutex %s: file holds %lld bytes, %zu needed", name,
                      static_cast<long long>(st.st_size), sizeof(RunDir::NamedMutexFile));
            return VDAPI_E_NOT_FOUND;
        }
        void* address =
            ::mmap(nullptr, sizeof(RunDir::NamedMutexFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
        if (address == MAP_FAILED)
            return ResultFromErrno(errno, VDAPI_E_NO_PERMISSION, "mmap named mutex");
        UniqueMapping mapping(address, sizeof(RunDir::NamedMutexFile));
        if (readyWord(static_cast<RunDir::NamedMutexFile*>(address)) != RunDir::NamedMutexFile::kReadyMagic)
            return VDAPI_E_NOT_FOUND;
        mapping_ = std::move(mapping);
        return VDAPI_OK;
    });
}

VdResult XpNamedMutexPosix::Lock(uint32_t timeoutMs)
{
    if (!mapping_.valid())
        return VDAPI_E_NOT_INITIALIZED;
    pthread_mutex_t* mutex = &file()->mutex;
    int rc = 0;
    if (timeoutMs == kXpInfinite) {
        rc = pthread_mutex_lock(mutex);
    }
    else {
        // timedlock rather than clocklock: thread checkers understand it, and the wait is
        // bounded either way; only a wall-clock jump during the wait stretches or shortens it.
        timespec at{};
        ::clock_gettime(CLOCK_REALTIME, &at);
        at.tv_sec += static_cast<time_t>(timeoutMs / 1000);
        at.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
        if (at.tv_nsec >= 1000000000L) {
            at.tv_sec += 1;
            at.tv_nsec -= 1000000000L;
        }
        rc = pthread_mutex_timedlock(mutex, &at);
    }
    if (rc == 0) {
        ownership_.acquired();
        return VDAPI_OK;
    }
    if (rc == EOWNERDEAD) {
        // The previous owner died holding it: take it over, as an abandoned mutex is.
        if (const int err = pthread_mutex_consistent(mutex); err != 0) {
            pthread_mutex_unlock(mutex);
            return ResultFromErrno(err, VDAPI_E_NO_PERMISSION, "take over named mutex");
        }
        VDAPI_LOG(Info, "named mutex abandoned by a dead owner; taken over");
        ownership_.acquired();
        return VDAPI_OK;
    }
    if (rc == ETIMEDOUT)
        return VDAPI_E_TIMEOUT;
    return ResultFromErrno(rc, VDAPI_E_NO_PERMISSION, "lock named mutex");
}

VdResult XpNamedMutexPosix::Unlock()
{
    if (!mapping_.valid())
        return VDAPI_E_NOT_INITIALIZED;
    if (!ownership_.ownedByCaller())
        return VDAPI_E_NOT_LOCKED;
    ownership_.releasing();
    return pthread_mutex_unlock(&file()->mutex) == 0 ? VDAPI_OK : VDAPI_E_NOT_LOCKED;
}

void XpNamedMutexPosix::Close()
{
    mapping_.reset();
    ownership_.reset();
}

VdResult XpNamedMutexPosix::Create(const char* name)
{
    return CatchAllocation([&]() -> VdResult {
        if (VdResult r = CheckObjectName(name, kXpMaxMutexName); !isSuccess(r))
            return r;
        bool existed = false;
        return PublishObjectFile(
            RunDir::mutex(name), sizeof(RunDir::NamedMutexFile),
            [](void* address) {
                auto* file = new (address) RunDir::NamedMutexFile{};
                pthread_mutexattr_t attr;
                if (pthread_mutexattr_init(&attr) != 0)
                    return false;
                pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
                pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
                pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
                const bool initialised = pthread_mutex_init(&file->mutex, &attr) == 0;
                pthread_mutexattr_destroy(&attr);
                if (initialised)
                    __atomic_store_n(&file->ready, RunDir::NamedMutexFile::kReadyMagic, __ATOMIC_RELEASE);
                return initialised;
            },
            existed);
    });
}

VdResult XpNamedMutexPosix::Remove(const char* name)
{
    return CatchAllocation([&]() -> VdResult {
        if (VdResult r = CheckObjectName(name, kXpMaxMutexName); !isSuccess(r))
            return r;
        return RemoveObjectFile(RunDir::mutex(name));
    });
}

} // namespace Vdapi
