// Named mutex on POSIX: a robust, process-shared, recursive pthread mutex in the mapped file
// <run dir>/mutex/NAME (layout RunDir::NamedMutexFile).
#pragma once

#include "devices/platform/IXpNamedMutex.h"
#include "devices/platform/posix/MutexOwnership.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/UniqueFd.h"

namespace Vdapi {

class XpNamedMutexPosix final : public IXpNamedMutex {
public:
    XpNamedMutexPosix() = default;
    ~XpNamedMutexPosix() override = default;

    VdResult Open(const char* name) override;
    VdResult Lock(uint32_t timeoutMs) override;
    VdResult Unlock() override;
    void Close() override;

    /// Creates the mutex file called name, ready for Open; an existing one is kept (like
    /// creating a named mutex that already exists). For the process that serves the mutex and
    /// for tests. Returns VDAPI_OK; the name errors of Open; the mapped errno otherwise.
    static VdResult Create(const char* name);

    /// Removes the mutex file called name; processes that have it open keep using it.
    /// Returns VDAPI_OK, VDAPI_E_NOT_FOUND, or the mapped errno.
    static VdResult Remove(const char* name);

private:
    RunDir::NamedMutexFile* file() const { return static_cast<RunDir::NamedMutexFile*>(mapping_.get()); }

    UniqueMapping mapping_;    ///< the mapped mutex file; invalid when not open
    MutexOwnership ownership_; ///< locks taken through this object; guarded by the mutex itself
};

} // namespace Vdapi
