// Simulator process control for the device-layer tests (fork/exec, pipe, poll with deadline).
#include "SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace VdapiTest {

namespace {

constexpr auto kStartDeadline = std::chrono::seconds(20);
constexpr auto kStopDeadline = std::chrono::seconds(10);

#ifdef VDSIM_BIN
const std::string kSimBin = VDSIM_BIN;
#else
const std::string kSimBin;
#endif
#ifdef VDSIMCTL_BIN
const std::string kSimCtlBin = VDSIMCTL_BIN;
#else
const std::string kSimCtlBin;
#endif

std::string RigPath(const std::string& rig)
{
    if (!rig.empty() && rig[0] == '/')
        return rig;
    return std::string(HALVIX_SOURCE_DIR) + "/tests/devices/core/rigs/" + rig;
}

} // namespace

bool SimAvailable()
{
    return !kSimBin.empty() && ::access(kSimBin.c_str(), X_OK) == 0;
}

SimProcess::SimProcess(const std::string& rig)
{
    if (!SimAvailable()) {
        m_error = "vdsim is not built";
        return;
    }
    char dirTemplate[] = "/tmp/vdapi_test_XXXXXX";
    if (!::mkdtemp(dirTemplate)) {
        m_error = "mkdtemp failed";
        return;
    }
    m_runDir = dirTemplate;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        m_error = "pipe failed";
        return;
    }
    const std::string rigPath = RigPath(rig);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execl(kSimBin.c_str(), kSimBin.c_str(), "--rig", rigPath.c_str(), "--run-dir", m_runDir.c_str(), (char*)nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    m_stdout = out[0];
    if (m_pid < 0) {
        m_error = "fork failed";
        return;
    }

    // Read lines until "ready" or the deadline.
    std::string seen;
    const auto deadline = std::chrono::steady_clock::now() + kStartDeadline;
    while (!m_ready) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            m_error = "no ready line within the deadline; output: " + seen;
            return;
        }
        pollfd p{m_stdout, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0)
            continue;
        char buf[512];
        const ssize_t n = ::read(m_stdout, buf, sizeof buf);
        if (n <= 0) {
            m_error = "vdsim exited before ready; output: " + seen;
            return;
        }
        seen.append(buf, size_t(n));
        size_t start = 0;
        for (size_t nl; (nl = seen.find('\n', start)) != std::string::npos; start = nl + 1)
            if (seen.substr(start, nl - start).find("ready") != std::string::npos)
                m_ready = true;
    }
    ::setenv("VDAPI_RUN_DIR", m_runDir.c_str(), 1);
}

SimProcess::~SimProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopDeadline;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            pollfd p{m_stdout, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[512];
                if (::read(m_stdout, buf, sizeof buf) <= 0)
                    ::poll(nullptr, 0, 10);
            }
        }
    }
    if (m_stdout >= 0)
        ::close(m_stdout);
    if (!m_runDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_runDir, ec);
    }
}

int SimProcess::Control(const std::string& args) const
{
    if (kSimCtlBin.empty())
        return -1;
    const std::string command = kSimCtlBin + " --run-dir " + m_runDir + " " + args + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

} // namespace VdapiTest
