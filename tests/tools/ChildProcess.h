// Runs an executable as a child process with its standard output and error captured, and
// waits for it with a deadline (the child is killed when the deadline passes).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace test {

class ChildProcess {
public:
    /// Starts `path` with `arguments`. `started()` is false when it could not be started.
    ChildProcess(const std::string& path, const std::vector<std::string>& arguments)
    {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        if (pipe2(err, O_CLOEXEC) != 0) {
            ::close(out[0]);
            ::close(out[1]);
            return;
        }
        std::vector<std::string> all{path};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            execv(path.c_str(), argv.data());
            _exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
        if (pid_ < 0) {
            closePipes();
            pid_ = -1;
        }
    }
    ~ChildProcess()
    {
        if (pid_ > 0 && exitCode_ == NotFinished) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        closePipes();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    /// Collects output until the child ends; returns its exit code, or -1 when it had to be
    /// killed at the deadline (or died of a signal).
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(30))
    {
        if (!pump([] { return false; }, timeout))
            kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        closePipes();
        return exitCode_;
    }

    /// Waits until standard error contains `text` (reading as it comes); false at the deadline.
    bool waitForStderr(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        const auto found = [&] { return stderr_.find(text) != std::string::npos; };
        return pump(found, timeout) && found();
    }

    const std::string& output() const { return stdout_; }
    const std::string& errors() const { return stderr_; }

private:
    static constexpr int NotFinished = -2;

    /// Reads both pipes until `done()` holds (true) or they close or the deadline passes
    /// (true only when they closed, i.e. the child ended its output).
    template <class Done>
    bool pump(Done done, std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (out_ < 0 && err_ < 0)
                return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
            if (poll(fds, 2, int(left.count())) < 0)
                continue;
            drain(fds[0], out_, stdout_);
            drain(fds[1], err_, stderr_);
        }
        return true;
    }

    static void drain(const pollfd& entry, int& fd, std::string& into)
    {
        if (fd < 0 || !(entry.revents & (POLLIN | POLLHUP | POLLERR)))
            return;
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            into.append(chunk, std::size_t(n));
        } else {
            ::close(fd);
            fd = -1;
        }
    }
    void closePipes()
    {
        if (out_ >= 0)
            ::close(out_);
        if (err_ >= 0)
            ::close(err_);
        out_ = err_ = -1;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int exitCode_ = NotFinished;
    std::string stdout_;
    std::string stderr_;
};

} // namespace test
