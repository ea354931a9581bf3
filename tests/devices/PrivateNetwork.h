// Test support: runs checks in a child process inside a private network namespace, where
// adapters can be made with chosen MACs and addresses without touching the machine's network.
#pragma once

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>

namespace Vdapi::TestSupport {

/// Collects failed checks as text (a child process cannot report through gtest).
class Findings {
public:
    void check(bool ok, const std::string& what)
    {
        if (!ok)
            text_ << what << "\n";
    }
    std::string text() const { return text_.str(); }

private:
    std::ostringstream text_;
};

/// Runs a shell command quietly; true when it exits 0.
inline bool RunQuiet(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

/// Why a private network cannot be had here, or "" when it can be tried (root and the ip tool).
inline std::string PrivateNetworkUnavailable()
{
    if (::geteuid() != 0)
        return "needs root for a private network namespace";
    if (::access("/usr/sbin/ip", X_OK) != 0 && ::access("/sbin/ip", X_OK) != 0)
        return "needs the ip tool (iproute2)";
    return "";
}

struct PrivateNetworkResult {
    bool permitted = false; ///< false: the namespace could not be made (skip, with reason)
    std::string findings;   ///< the body's failed checks, "" when all held
};

/// Forks a child that moves into a fresh network namespace (with its own sysfs view, so
/// /sys/class/net shows the namespace's adapters), runs `body` there and reports its text.
/// The machine's network is never touched. A child that does not finish within `deadline` is
/// killed and reported as a finding.
inline PrivateNetworkResult RunInPrivateNetwork(const std::function<std::string()>& body,
                                                std::chrono::seconds deadline = std::chrono::seconds(120))
{
    static const std::string kNotPermitted = "\x01not permitted";
    PrivateNetworkResult result;
    int fds[2];
    if (::pipe(fds) != 0) {
        result.permitted = true;
        result.findings = "pipe failed";
        return result;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::string report;
        if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0)
            report = kNotPermitted;
        else
            report = body();
        size_t done = 0;
        while (done < report.size()) {
            const ssize_t n = ::write(fds[1], report.data() + done, report.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        result.permitted = true;
        result.findings = "fork failed";
        return result;
    }
    std::string report;
    bool timedOut = false;
    const auto end = std::chrono::steady_clock::now() + deadline;
    char buffer[1024];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left.count()));
        if (ready < 0)
            continue;
        if (ready == 0) {
            timedOut = true;
            break;
        }
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        report.append(buffer, size_t(n));
    }
    ::close(fds[0]);
    if (timedOut)
        ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (report == kNotPermitted)
        return result;
    result.permitted = true;
    result.findings = report;
    if (timedOut)
        result.findings += "the checks did not finish in time\n";
    else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        result.findings += "the checking process ended abnormally\n";
    return result;
}

} // namespace Vdapi::TestSupport
