// Runs the real simulator for a test: a private run directory, the rig, the "ready" line
// awaited with a deadline, VDAPI_RUN_DIR pointed at it, and the process stopped at the end.
#pragma once

#include "tests/log/TempDir.h"

#include <memory>
#include <string>

namespace test {
class ChildProcess;
}

namespace VdapiTest {

class SimProcess {
public:
    /// Starts vdsim with `rig` (path relative to tests/devices/core/rigs/, or absolute).
    /// Check Ready() / Error() afterwards.
    explicit SimProcess(const std::string& rig);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Ready() const { return m_ready; }
    /// Why the start failed, with what the simulator printed.
    const std::string& Error() const { return m_error; }
    const std::string& RunDir() const { return m_dir.path(); }
    /// Runs vdsimctl with `args` against this simulator; returns its exit status.
    int Control(const std::string& args) const;

private:
    std::unique_ptr<test::ChildProcess> m_process; // vdsim, stdout and stderr together
    TempDir m_dir; // the run directory, removed after the simulator stopped
    bool m_ready = false;
    std::string m_error;
};

/// True when the simulator binary was built with this tree.
bool SimAvailable();

} // namespace VdapiTest

/// Starts the simulator with `rig` as `sim` and fails the test when it does not come up.
#define START_SIM(sim, rig)              \
    ::VdapiTest::SimProcess sim(rig);    \
    ASSERT_TRUE(sim.Ready()) << sim.Error()
