// Shared-memory section on POSIX: the file <run dir>/shm/NAME, mmap'ed.
#pragma once

#include "devices/platform/IXpSharedMem.h"
#include "devices/platform/posix/UniqueFd.h"

namespace Vdapi {

/// The creator of a section must never shrink its file while others have it mapped.
class XpSharedMemPosix final : public IXpSharedMem {
public:
    XpSharedMemPosix() = default;
    ~XpSharedMemPosix() override = default;

    VdResult Open(const char* name, size_t size, void*& address, bool readOnly) override;
    size_t Size() const override { return mapping_.size(); }
    void Close() override { mapping_.reset(); }

    /// Creates the section called name with size zero bytes; an existing one is kept as it is.
    /// For the process that publishes the section and for tests. Returns VDAPI_OK; the name
    /// errors of Open; VDAPI_E_INVALID_ARG for size 0; the mapped errno otherwise.
    static VdResult Create(const char* name, size_t size);

    /// Removes the section called name; existing mappings stay valid.
    /// Returns VDAPI_OK, VDAPI_E_NOT_FOUND, or the mapped errno.
    static VdResult Remove(const char* name);

private:
    UniqueMapping mapping_;
};

} // namespace Vdapi
