// Owning wrappers for a Windows HANDLE and a mapped view: released whatever happens.
#pragma once

#include "base/UniqueResource.h"

#include <windows.h>

#include <utility>

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

/// Owns one view mapped with MapViewOfFile and unmaps it on destruction or reset.
class UniqueView {
public:
    UniqueView() = default;
    UniqueView(void* address, size_t size) : address_(address), size_(size) {}
    UniqueView(UniqueView&& other) noexcept
        : address_(std::exchange(other.address_, nullptr)), size_(std::exchange(other.size_, 0))
    {
    }
    UniqueView& operator=(UniqueView&& other) noexcept
    {
        if (this != &other) {
            reset();
            address_ = std::exchange(other.address_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    UniqueView(const UniqueView&) = delete;
    UniqueView& operator=(const UniqueView&) = delete;
    ~UniqueView() { reset(); }

    void* get() const { return address_; }
    size_t size() const { return size_; }
    bool valid() const { return address_ != nullptr; }

    void reset()
    {
        if (address_ != nullptr)
            ::UnmapViewOfFile(address_);
        address_ = nullptr;
        size_ = 0;
    }

private:
    void* address_ = nullptr;
    size_t size_ = 0;
};

} // namespace Vdapi
