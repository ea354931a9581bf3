// Runs commands at wall-clock times on a thread of its own ("schedule" / "cancelSchedule").
#pragma once

#include "base/Worker.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>

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

    std::multimap<int64_t, std::string> timeline_;   // guarded by worker_.mutex(); equal keys keep insertion order
    std::map<std::string, Command> commands_;        // guarded by worker_.mutex()
    uint64_t changes_ = 0;                           // guarded by worker_.mutex(); counts adds and cancels
    base::Worker worker_;                            // started last, stopped by the destructor
};

} // namespace kel
