// Owning wrappers for a Windows HANDLE and a mapped view: released whatever happens.
#pragma once

#include "base/UniqueRegion.h"
#include "base/UniqueResource.h"

#include <windows.h>

#include <cstddef>

namespace Vdapi {

struct HandleTraits {
    using Handle = HANDLE;
    static HANDLE none() { return nullptr; }
    /// Both null and INVALID_HANDLE_VALUE mean "none": the system calls use one or the other
    /// for failure.
    static bool valid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { ::CloseHandle(handle); }
};

/// Owns one kernel-object HANDLE and closes it on destruction or reset.
using UniqueHandle = base::UniqueResource<HandleTraits>;

struct ViewTraits {
    static void unmap(void* address, size_t) { ::UnmapViewOfFile(address); }
};

/// Owns one view mapped with MapViewOfFile and unmaps it on destruction or reset.
using UniqueView = base::UniqueRegion<ViewTraits>;

} // namespace Vdapi
