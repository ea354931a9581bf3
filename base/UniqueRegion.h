// One owner of a mapped memory region (an address and its size), released whatever happens: the
// traits say how the system unmaps it (munmap, UnmapViewOfFile).
#pragma once

#include <cstddef>
#include <utility>

namespace base {

/// Traits: `static void unmap(void* address, std::size_t size);` (called only for a non-null
/// address).
template <class Traits>
class UniqueRegion {
public:
    UniqueRegion() = default;
    UniqueRegion(void* address, std::size_t size) : address_(address), size_(size) {}
    UniqueRegion(UniqueRegion&& other) noexcept
        : address_(std::exchange(other.address_, nullptr)), size_(std::exchange(other.size_, 0))
    {
    }
    UniqueRegion& operator=(UniqueRegion&& other) noexcept
    {
        if (this != &other) {
            reset();
            address_ = std::exchange(other.address_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    UniqueRegion(const UniqueRegion&) = delete;
    UniqueRegion& operator=(const UniqueRegion&) = delete;
    ~UniqueRegion() { reset(); }

    void* get() const { return address_; }
    std::size_t size() const { return size_; }
    bool valid() const { return address_ != nullptr; }

    /// Unmaps the region (if any); the owner is empty afterwards.
    void reset()
    {
        if (address_ != nullptr)
            Traits::unmap(address_, size_);
        address_ = nullptr;
        size_ = 0;
    }

private:
    void* address_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace base
