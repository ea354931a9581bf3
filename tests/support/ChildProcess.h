// Runs an executable as a child process for a test: its standard output and error are read
// continuously by a thread of this object (so the child never blocks on a full pipe), and every
// wait has a deadline (the child is killed when it passes).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test {

class ChildProcess {
public:
    /// Separate: standard error is kept apart (errors()); Merged: both go to output().
    enum class Streams { Separate, Merged };

    /// Starts `path` with `arguments`. `started()` is false when it could not be started.
    ChildProcess(const std::string& path, const std::vector<std::string>& arguments,
                 Streams streams = Streams::Separate)
    {
        std::vector<std::string> all{path};
        all.insert(all.end(), arguments.begin(), arguments.end());
        start(all, streams);
    }
    /// Starts `argv[0]` with the rest of `argv` as its arguments.
    explicit ChildProcess(const std::vector<std::string>& argv, Streams streams = Streams::Separate)
    {
        start(argv, streams);
    }
    ~ChildProcess()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable()) {
            // A grandchild may hold the pipes open: the stop pipe ends the reader regardless.
            const char stop = 0;
            [[maybe_unused]] const ssize_t n = ::write(stopWrite_, &stop, 1);
            reader_.join();
        }
        for (int fd : {stopRead_, stopWrite_})
            if (fd >= 0)
                ::close(fd);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    /// Waits for the child to end; its exit code, or -1 when it had to be killed at the deadline
    /// or died of a signal.
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(30))
    {
        if (pid_ <= 0)
            return -1;
        if (reaped_)
            return exitCode_;
        {
            // The pipes end when the child (their only writer) has gone.
            std::unique_lock lock(mutex_);
            if (!changed_.wait_for(lock, timeout, [&] { return ended_; }))
                ::kill(pid_, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exitCode_;
    }
    /// Sends SIGTERM and waits as wait() does.
    int terminate(std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        if (pid_ > 0 && !reaped_)
            ::kill(pid_, SIGTERM);
        return wait(timeout);
    }

    /// Waits until the output contains `text`; false at the deadline or when the output ended first.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return waitFor(stdout_, text, timeout);
    }
    /// Waits until standard error contains `text`; false at the deadline or when it ended first.
    bool waitForStderr(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return waitFor(stderr_, text, timeout);
    }

    /// Everything written so far.
    std::string output() const
    {
        std::lock_guard lock(mutex_);
        return stdout_;
    }
    std::string errors() const
    {
        std::lock_guard lock(mutex_);
        return stderr_;
    }

private:
    void start(const std::vector<std::string>& all, Streams streams)
    {
        int out[2], err[2] = {-1, -1}, stop[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        if ((streams == Streams::Separate && ::pipe2(err, O_CLOEXEC) != 0) || ::pipe2(stop, O_CLOEXEC) != 0) {
            for (int fd : {out[0], out[1], err[0], err[1]})
                if (fd >= 0)
                    ::close(fd);
            return;
        }
        stopRead_ = stop[0];
        stopWrite_ = stop[1];
        std::vector<std::string> words = all;
        std::vector<char*> argv;
        for (auto& a : words)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1] >= 0 ? err[1] : out[1], 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        if (err[1] >= 0)
            ::close(err[1]);
        if (pid_ < 0) {
            ::close(out[0]);
            if (err[0] >= 0)
                ::close(err[0]);
            return;
        }
        reader_ = std::thread([this, o = out[0], e = err[0]] { readLoop(o, e); });
    }

    /// Reads both pipes until they close or the stop pipe is written.
    void readLoop(int out, int err)
    {
        int fds[2] = {out, err};
        std::string* into[2] = {&stdout_, &stderr_};
        char chunk[4096];
        while (fds[0] >= 0 || fds[1] >= 0) {
            pollfd p[3] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}, {stopRead_, POLLIN, 0}};
            if (::poll(p, 3, -1) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (p[2].revents)
                break;
            for (int i = 0; i < 2; ++i) {
                if (fds[i] < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = ::read(fds[i], chunk, sizeof chunk);
                if (n < 0 && errno == EINTR)
                    continue;
                std::lock_guard lock(mutex_);
                if (n > 0) {
                    into[i]->append(chunk, size_t(n));
                } else {
                    ::close(fds[i]);
                    fds[i] = -1;
                }
                changed_.notify_all();
            }
        }
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }

    bool waitFor(const std::string& stream, const std::string& text, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        const auto found = [&] { return stream.find(text) != std::string::npos; };
        changed_.wait_for(lock, timeout, [&] { return ended_ || found(); });
        return found();
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitCode_ = -1;
    int stopRead_ = -1; // written once by the destructor to end the reader
    int stopWrite_ = -1;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string stdout_; // guarded by mutex_ (also standard error with Streams::Merged)
    std::string stderr_; // guarded by mutex_
    bool ended_ = false; // guarded by mutex_: both pipes reached end of file
};

} // namespace test
