// Shared-memory section on POSIX: size-checked mmap of a file below the run directory.
#include "devices/platform/posix/XpSharedMemPosix.h"

#include "devices/platform/Xp.h"
#include "devices/platform/CatchAllocation.h"
#include "devices/platform/posix/ErrnoResult.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/RunDirFiles.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>

namespace Vdapi {

VdResult XpSharedMemPosix::Open(const char* name, size_t size, void*& address, bool readOnly)
{
    address = nullptr;
    return CatchAllocation([&]() -> VdResult {
        Close();
        if (VdResult r = CheckObjectName(name, kXpMaxSharedMemName); !isSuccess(r))
            return r;
        UniqueFd fd(::open(RunDir::sharedMem(name).c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC));
        if (!fd)
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, "open shared memory");
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0)
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, "fstat shared memory");
        if (!S_ISREG(st.st_mode))
            return VDAPI_E_INTERNAL;
        const size_t available = static_cast<size_t>(st.st_size);
        const size_t wanted = size == 0 ? available : size;
        // Never map past the end of the file: touching those pages would fault.
        if (wanted == 0 || wanted > available) {
            VDAPI_LOG(Warning, "shared memory %s holds %zu bytes, %zu asked", name, available, wanted);
            return VDAPI_E_INTERNAL;
        }
        void* mapped =
            ::mmap(nullptr, wanted, PROT_READ | (readOnly ? 0 : PROT_WRITE), MAP_SHARED, fd.get(), 0);
        if (mapped == MAP_FAILED)
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, "mmap shared memory");
        mapping_ = UniqueMapping(mapped, wanted);
        address = mapped;
        return VDAPI_OK;
    });
}

VdResult XpSharedMemPosix::Create(const char* name, size_t size)
{
    return CatchAllocation([&]() -> VdResult {
        if (VdResult r = CheckObjectName(name, kXpMaxSharedMemName); !isSuccess(r))
            return r;
        bool existed = false;
        // The new file is already zero-filled.
        return PublishObjectFile(
            RunDir::sharedMem(name), size, [](void*) { return true; }, existed);
    });
}

VdResult XpSharedMemPosix::Remove(const char* name)
{
    return CatchAllocation([&]() -> VdResult {
        if (VdResult r = CheckObjectName(name, kXpMaxSharedMemName); !isSuccess(r))
            return r;
        return RemoveObjectFile(RunDir::sharedMem(name));
    });
}

} // namespace Vdapi
