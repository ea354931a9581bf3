// A named shared-memory section created by another process, mapped into this one.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/platform/IInterface.h"

#include <cstddef>

namespace Vdapi {

/// Longest name IXpSharedMem::Open accepts.
inline constexpr size_t kXpMaxSharedMemName = 259;

/// One owner at a time. The mapping stays valid until Close, the next Open or destruction.
class IXpSharedMem : public IInterface {
public:
    /// Unmaps any previous section, then maps size bytes of the existing section called name
    /// (size 0: the whole section), read-only or read-write. address receives the mapping, or
    /// null on failure. Does not block. Returns VDAPI_OK; VDAPI_E_BUF_TOO_SMALL for a name
    /// longer than kXpMaxSharedMemName (or longer than this system allows);
    /// VDAPI_E_INVALID_ARG for an empty name or one containing '/'; VDAPI_E_NOT_FOUND when no
    /// such section exists; VDAPI_E_NO_PERMISSION when it cannot be opened with that access;
    /// VDAPI_E_INTERNAL when it cannot be mapped, in particular when it is smaller than size.
    virtual VdResult Open(const char* name, size_t size, void*& address, bool readOnly) = 0;

    /// Bytes mapped by the last successful Open; 0 when nothing is mapped.
    virtual size_t Size() const = 0;

    /// Unmaps and closes. Harmless when nothing is mapped.
    virtual void Close() = 0;
};

} // namespace Vdapi
