// Simulator process control for the device-layer tests (a child process awaited with deadlines).
#include "SimProcess.h"

#include "tests/tools/ChildProcess.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
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
    m_process = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{kSimBin, "--rig", RigPath(rig), "--run-dir", m_dir.path()}, test::ChildProcess::Streams::Merged);
    m_ready = m_process->waitForOutput("ready", kStartDeadline);
    if (!m_ready) {
        m_error = "vdsim did not report ready; output: " + m_process->output();
        return;
    }
    ::setenv("VDAPI_RUN_DIR", m_dir.path().c_str(), 1);
}

SimProcess::~SimProcess()
{
    if (m_process)
        m_process->terminate(kStopDeadline);
}

int SimProcess::Control(const std::string& args) const
{
    if (kSimCtlBin.empty())
        return -1;
    const std::string command = kSimCtlBin + " --run-dir " + m_dir.path() + " " + args + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

} // namespace VdapiTest
