// Runs commands at wall-clock times on a thread of its own ("schedule" / "cancelSchedule").
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace kel {

/// Holds commands keyed by a schedule id and runs each once, when the system clock reaches its
/// due time. Commands with equal due times run in the order they were added. Due commands are
/// taken out of the tables and run after the mutex is released, so a command may itself add or
/// cancel commands.
class CommandScheduler {
public:
    using Command = std::function<void()>;

    /// Starts the scheduler thread.
    CommandScheduler();
    /// Stops and joins the thread; commands still pending are dropped without running.
    ~CommandScheduler();

    CommandScheduler(const CommandScheduler&) = delete;
    CommandScheduler& operator=(const CommandScheduler&) = delete;

    /// Schedules `command` at `time` (100-ns units since 1970-01-01 UTC). Ignored when
    /// `scheduleId` is already pending: the first command keeps its time.
    void add(int64_t time, const std::string& scheduleId, Command command);
    /// Removes the pending command `scheduleId`. Returns false when none is pending.
    bool cancel(const std::string& scheduleId);
    /// Returns whether a command with that id is pending.
    bool isScheduled(const std::string& scheduleId) const;

    /// The system clock in 100-ns units since 1970-01-01 UTC.
    static int64_t now();

private:
    void loop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stop_ = false;                 // written under mutex_; read between commands
    std::multimap<int64_t, std::string> timeline_;   // guarded by mutex_; equal keys keep insertion order
    std::map<std::string, Command> commands_;        // guarded by mutex_
    std::thread thread_;                             // started last, joined by the destructor
};

} // namespace kel
