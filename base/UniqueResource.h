// One owning handle for every kind of system resource (a descriptor, a kernel-object handle, a
// library's context): the traits say what "none" is, what counts as valid and how to release it.
#pragma once

#include <utility>

namespace base {

/// Traits: `using Handle = ...;` `static Handle none();` `static bool valid(Handle);`
/// `static void close(Handle);` (close is called only for valid handles).
template <class Traits>
class UniqueResource {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : handle_(handle) {}
    UniqueResource(UniqueResource&& other) noexcept : handle_(std::exchange(other.handle_, Traits::none())) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.handle_, Traits::none()));
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    Handle get() const { return handle_; }
    bool valid() const { return Traits::valid(handle_); }
    explicit operator bool() const { return valid(); }

    /// Gives up ownership without releasing.
    Handle release() { return std::exchange(handle_, Traits::none()); }

    /// Releases the owned resource (if any) and takes handle.
    void reset(Handle handle = Traits::none())
    {
        const Handle old = std::exchange(handle_, handle);
        if (Traits::valid(old))
            Traits::close(old);
    }

private:
    Handle handle_ = Traits::none();
};

} // namespace base
