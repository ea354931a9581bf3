// Owning wrappers for a Windows HANDLE and a mapped view: released whatever happens.
#pragma once

#include <windows.h>

#include <utility>

namespace Vdapi {

/// Owns one kernel-object HANDLE and closes it on destruction or reset. Both null and
/// INVALID_HANDLE_VALUE mean "none" (the system calls use one or the other for failure).
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }

    /// Gives up ownership without closing.
    HANDLE release() { return std::exchange(handle_, nullptr); }

    /// Closes the owned handle (if any) and takes handle.
    void reset(HANDLE handle = nullptr)
    {
        const HANDLE old = std::exchange(handle_, handle);
        if (old != nullptr && old != INVALID_HANDLE_VALUE)
            ::CloseHandle(old);
    }

private:
    HANDLE handle_ = nullptr;
};

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
