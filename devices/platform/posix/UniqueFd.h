// Owning wrappers for a file descriptor and a memory mapping: released whatever happens.
#pragma once

#include "base/UniqueRegion.h"
#include "base/UniqueResource.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>

namespace Vdapi {

struct FdTraits {
    using Handle = int;
    static int none() { return -1; }
    static bool valid(int fd) { return fd >= 0; }
    static void close(int fd) { ::close(fd); }
};

/// Owns one file descriptor (-1 = none) and closes it on destruction or reset.
using UniqueFd = base::UniqueResource<FdTraits>;

struct MappingTraits {
    static void unmap(void* address, size_t size) { ::munmap(address, size); }
};

/// Owns one mmap'ed region and unmaps it on destruction or reset.
using UniqueMapping = base::UniqueRegion<MappingTraits>;

} // namespace Vdapi
