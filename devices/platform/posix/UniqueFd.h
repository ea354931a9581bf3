// Owning wrappers for a file descriptor and a memory mapping: released whatever happens.
#pragma once

#include "base/UniqueResource.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <utility>

namespace Vdapi {

struct FdTraits {
    using Handle = int;
    static int none() { return -1; }
    static bool valid(int fd) { return fd >= 0; }
    static void close(int fd) { ::close(fd); }
};

/// Owns one file descriptor (-1 = none) and closes it on destruction or reset.
using UniqueFd = base::UniqueResource<FdTraits>;

/// Owns one mmap'ed region and unmaps it on destruction or reset.
class UniqueMapping {
public:
    UniqueMapping() = default;
    UniqueMapping(void* address, size_t size) : address_(address), size_(size) {}
    UniqueMapping(UniqueMapping&& other) noexcept
        : address_(std::exchange(other.address_, nullptr)), size_(std::exchange(other.size_, 0))
    {
    }
    UniqueMapping& operator=(UniqueMapping&& other) noexcept
    {
        if (this != &other) {
            reset();
            address_ = std::exchange(other.address_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    UniqueMapping(const UniqueMapping&) = delete;
    UniqueMapping& operator=(const UniqueMapping&) = delete;
    ~UniqueMapping() { reset(); }

    void* get() const { return address_; }
    size_t size() const { return size_; }
    bool valid() const { return address_ != nullptr; }

    void reset()
    {
        if (address_ != nullptr)
            ::munmap(address_, size_);
        address_ = nullptr;
        size_ = 0;
    }

private:
    void* address_ = nullptr;
    size_t size_ = 0;
};

} // namespace Vdapi
