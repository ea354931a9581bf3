// Which thread owns a recursive mutex and how deeply, so a release by anyone else is refused
// before it reaches the system mutex (whose behaviour for that misuse differs between kinds).
#pragma once

#include <atomic>
#include <thread>

namespace Vdapi {

class MutexOwnership {
public:
    /// Call right after the system mutex was acquired by the calling thread.
    void acquired()
    {
        if (owner_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
            ++depth_;
            return;
        }
        owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        depth_ = 1;
    }

    /// True when the calling thread owns the mutex.
    bool ownedByCaller() const
    {
        return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
    }

    /// Call before releasing one level of the system mutex; the caller must own it.
    void releasing()
    {
        if (--depth_ == 0)
            owner_.store(std::thread::id(), std::memory_order_relaxed);
    }

    /// Forgets any owner (the mutex was closed).
    void reset()
    {
        owner_.store(std::thread::id(), std::memory_order_relaxed);
        depth_ = 0;
    }

private:
    // Written only by the owning thread while it holds the mutex; other threads only compare
    // owner_ with their own id, which can never match a stale value.
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0; ///< levels held by owner_; touched only by the owner
};

} // namespace Vdapi
