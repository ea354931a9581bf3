// Owning wrappers for a file descriptor and a memory mapping: released whatever happens.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <utility>

namespace Vdapi {

/// Owns one file descriptor (-1 = none) and closes it on destruction or reset.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    /// Gives up ownership without closing.
    int release() { return std::exchange(fd_, -1); }

    /// Closes the owned descriptor (if any) and takes fd.
    void reset(int fd = -1)
    {
        const int old = std::exchange(fd_, fd);
        if (old >= 0)
            ::close(old);
    }

private:
    int fd_ = -1;
};

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
