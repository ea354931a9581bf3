// One worker thread with what every such thread needs: a lock for the state it shares with its
// owner, a wake-up, a stop flag and a join. The loop waits only through wait/waitUntil, which
// end on its condition, a deadline or stop, so stop() always finds it and joins it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace base {

class Worker {
public:
    Worker() = default;
    /// Stops and joins a loop still running; an owner whose loop uses its other members calls
    /// stop() itself first, before those members go.
    ~Worker() { stop(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    /// Clears the stop flag and runs loop on a new thread. Throws std::system_error when no
    /// thread can be started. Not while a loop is running.
    void start(std::function<void()> loop)
    {
        stop_.store(false);
        loopThread_.store(std::thread::id());
        thread_ = std::thread([this, loop = std::move(loop)] {
            loopThread_.store(std::this_thread::get_id());
            loop();
        });
    }

    /// Sets the stop flag, wakes the loop and joins it. Harmless when nothing runs. Called from
    /// the loop itself (a callback that stops its owner), it only asks: the owner's later stop()
    /// joins. Owners call it from one thread at a time.
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_.store(true);
        }
        wake_.notify_all();
        if (loopThread_.load() == std::this_thread::get_id())
            return; // the loop itself: it cannot join itself, and thread_ is its owner's
        if (thread_.joinable())
            thread_.join();
    }

    /// True once stop() was asked; may be read without the lock.
    bool stopping() const { return stop_.load(); }
    bool running() const { return thread_.joinable(); }

    /// The lock of the state the loop shares with its owner.
    std::mutex& mutex() const { return mutex_; }
    /// Wakes the loop so that it looks at its condition again (with or without the lock).
    void wake() { wake_.notify_all(); }

    /// With lock held on mutex(): waits until ready() holds or stop is asked. False when stopping.
    template <class Ready>
    bool wait(std::unique_lock<std::mutex>& lock, Ready ready)
    {
        wake_.wait(lock, [&] { return stop_.load() || ready(); });
        return !stop_.load();
    }

    /// As wait, ending at deadline at the latest.
    template <class Clock, class Duration, class Ready>
    bool waitUntil(std::unique_lock<std::mutex>& lock, std::chrono::time_point<Clock, Duration> deadline, Ready ready)
    {
        wake_.wait_until(lock, deadline, [&] { return stop_.load() || ready(); });
        return !stop_.load();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stop_{false};
    std::atomic<std::thread::id> loopThread_{}; ///< set by the loop's thread before the loop runs
    std::thread thread_;
};

} // namespace base
