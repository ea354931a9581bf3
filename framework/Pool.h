// kel::Pool: a bounded set of reusable objects handed out behind shared handles.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/RawDataPacket.h"

namespace kel {

/// Creates objects with its factory, never more than `maximum`, and hands them out FIFO:
/// get() takes the oldest free object and a released handle puts its object at the back.
/// Objects keep their state between uses. A handle released after the pool is gone
/// destroys its object instead. get() and releases may run on any thread.
template <class T>
class Pool {
public:
    using Factory = std::function<std::unique_ptr<T>()>;

    static constexpr std::uint64_t DefaultMaximum = 100;
    static constexpr std::uint64_t DefaultInitialCount = 10;

    /// Returns an object to its pool, or destroys it when the pool no longer exists.
    class Deleter {
    public:
        explicit Deleter(std::weak_ptr<Pool> pool) : pool_(std::move(pool)) {}

        void operator()(T* object) const
        {
            std::unique_ptr<T> owned(object);
            if (std::shared_ptr<Pool> pool = pool_.lock())
                pool->giveBack(std::move(owned));
        }

    private:
        std::weak_ptr<Pool> pool_;
    };

    /// Creates min(initialCount, maximum) objects at once. Without a factory the objects
    /// are value-constructed (for RawDataPacket: over an empty VectorStorage). Throws what
    /// the factory throws, or std::invalid_argument when it returns null.
    explicit Pool(Factory factory = {}, std::uint64_t maximum = DefaultMaximum,
                  std::uint64_t initialCount = DefaultInitialCount)
        : maximum_(maximum),
          created_(initialCount < maximum ? initialCount : maximum),
          factory_(factory ? std::move(factory) : defaultFactory()),
          released_(std::make_shared<ReleaseSignal>())
    {
        self_ = std::shared_ptr<Pool>(this, [signal = released_](Pool*) {
            std::lock_guard<std::mutex> lock(signal->mutex);
            signal->released = true;
            signal->condition.notify_all();
        });
        free_.resize(static_cast<std::size_t>(maximum_));
        for (std::uint64_t i = 0; i < created_; ++i)
            giveBack(create());
    }

    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    /// From here on released handles destroy their objects. Waits for a release that is
    /// returning an object at this moment (a few list operations) before freeing the list.
    ~Pool()
    {
        self_.reset();
        std::unique_lock<std::mutex> lock(released_->mutex);
        released_->condition.wait(lock, [this] { return released_->released; });
    }

    /// The oldest free object, creating one when none is free and fewer than the maximum
    /// exist; an empty handle when all `maximum` objects are out. Throws what the factory
    /// throws (the pool stays usable).
    std::shared_ptr<T> get()
    {
        std::unique_ptr<T> object;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (freeCount_ == 0) {
                if (created_ >= maximum_)
                    return {};
                ++created_;
                lock.unlock();
                try {
                    object = create();
                } catch (...) {
                    --created_;
                    throw;
                }
            } else {
                object = std::move(free_[head_]);
                head_ = (head_ + 1) % free_.size();
                --freeCount_;
            }
        }
        // Built outside the lock: if the handle cannot be allocated, the deleter runs and
        // takes the lock to give the object back.
        return std::shared_ptr<T>(object.release(), Deleter(self_));
    }

    std::uint64_t maximum() const { return maximum_; }
    /// Objects created so far (never above maximum()).
    std::uint64_t created() const { return created_; }
    /// Objects waiting in the free list.
    std::uint64_t freeCount() const { return freeCount_; }

private:
    struct ReleaseSignal {
        std::mutex mutex;
        std::condition_variable condition;
        bool released = false;  // guarded by mutex
    };

    static Factory defaultFactory()
    {
        if constexpr (std::is_same_v<T, RawDataPacket>)
            return [] { return makeVectorPacket(); };
        else
            return [] { return std::make_unique<T>(); };
    }

    std::unique_ptr<T> create()
    {
        std::unique_ptr<T> object = factory_();
        if (!object)
            throw std::invalid_argument("Pool factory returned no object");
        return object;
    }

    void giveBack(std::unique_ptr<T> object)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (freeCount_ == free_.size())
            return;  // cannot happen while created_ <= maximum_; the object is destroyed
        free_[(head_ + freeCount_) % free_.size()] = std::move(object);
        ++freeCount_;
    }

    const std::uint64_t maximum_;
    std::atomic<std::uint64_t> created_;
    const Factory factory_;

    std::mutex mutex_;                      // guards free_, head_ and writes of freeCount_
    std::vector<std::unique_ptr<T>> free_;  // ring of maximum_ slots; freeCount_ used from head_
    std::size_t head_ = 0;
    std::atomic<std::uint64_t> freeCount_{0};

    std::shared_ptr<ReleaseSignal> released_;  // set when the last strong self_ reference is gone
    std::shared_ptr<Pool> self_;               // does not own; source of the deleters' weak references
};

}  // namespace kel
