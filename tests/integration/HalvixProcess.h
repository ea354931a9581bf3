// Runs the real halvix executable as a child process and collects its console output.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace integration {

/// One halvix process. Its standard output and error are read continuously by a thread of
/// this object (so the child never blocks on a full pipe). The destructor kills a child that
/// is still running and reaps it.
class HalvixProcess {
public:
    /// Starts HALVIX_BIN with `arguments`; started() tells whether that worked.
    explicit HalvixProcess(const std::vector<std::string>& arguments);
    ~HalvixProcess();

    HalvixProcess(const HalvixProcess&) = delete;
    HalvixProcess& operator=(const HalvixProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    /// Waits until the output contains `text`; false at the deadline or when the output ended first.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// Waits for the child to end; its exit code, or nothing when it had to be killed at the
    /// deadline or died of a signal.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    /// Everything written so far.
    std::string output() const;
    /// The output's lines with the time stamp cut off ("Level | Source | Text").
    std::vector<std::string> lines() const;

private:
    void readLoop(int fd);

    pid_t pid_ = -1;
    bool reaped_ = false;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;  // guarded by mutex_
    bool ended_ = false;  // guarded by mutex_: the pipe reached end of file
};

} // namespace integration
