// kel::Consumer: queues items from any thread and hands them to listeners in periodic batches.
#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "base/ListenerList.h"
#include "base/Worker.h"
#include "log/ThreadName.h"

namespace kel {

/// Receives the items of a Consumer, one call per item, on the consumer's worker thread.
template <class T>
class IConsumerListener {
public:
    virtual ~IConsumerListener() = default;
    virtual void consume(T item) = 0;
};

/// Unbounded queue with one worker thread. push() only appends under a short lock; the
/// worker wakes every `period`, takes the whole queue at once and delivers it, oldest
/// first, to every listener. stop() delivers what is queued and ends the worker; items
/// pushed afterwards are dropped.
///
/// Mutexes: queueMutex_ guards incoming_ and accepting_; the worker's own lock covers only its
/// timed sleep and is never held while queueMutex_ is taken; the listener list's mutex is held
/// while one item is delivered; stopMutex_ serialises stop().
template <class T>
class Consumer : public ListenerList<IConsumerListener<T>> {
public:
    /// Starts the worker, which names itself `threadName`.
    explicit Consumer(std::string threadName, std::chrono::milliseconds period = std::chrono::milliseconds(100))
        : threadName_(std::move(threadName)), period_(period)
    {
        worker_.start([this] { run(); });
    }

    ~Consumer() override { stop(); }

    /// Queues `item`. Returns false (dropping it) once stop() has begun.
    bool push(T item)
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (!accepting_)
            return false;
        incoming_.push_back(std::move(item));
        return true;
    }

    /// Stops accepting items, lets the worker deliver everything queued and joins it.
    /// Idempotent. Called from a listener (on the worker itself) it only signals the stop.
    void stop()
    {
        std::lock_guard<std::mutex> stopLock(stopMutex_);
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            accepting_ = false;
        }
        if (worker_.running())
            worker_.stop();
    }

    /// True until stop() has begun.
    bool accepting() const
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        return accepting_;
    }

private:
    void run()
    {
        setCurrentThreadName(threadName_);
        auto last = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> wakeLock(worker_.mutex());
        while (worker_.waitUntil(wakeLock, last + period_, [] { return false; })) {
            wakeLock.unlock();
            last = std::chrono::steady_clock::now();
            deliverQueued();
            wakeLock.lock();
        }
        wakeLock.unlock();
        deliverQueued();
    }

    void deliverQueued()
    {
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            std::swap(incoming_, delivery_);
        }
        while (!delivery_.empty()) {
            this->forEachListener([this](IConsumerListener<T>& listener) {
                try {
                    listener.consume(delivery_.front());
                } catch (...) {
                    // A failing listener must not end the worker or starve the others.
                }
            });
            delivery_.pop_front();
        }
    }

    const std::string threadName_;
    const std::chrono::milliseconds period_;

    mutable std::mutex queueMutex_;
    std::deque<T> incoming_;  // guarded by queueMutex_
    bool accepting_ = true;   // guarded by queueMutex_
    std::deque<T> delivery_;  // worker thread only

    std::mutex stopMutex_;  // serialises stop()
    base::Worker worker_;   // delivers every period_; started last, stopped by stop()
};

}  // namespace kel
