// The real simulator for a test or a benchmark: vdsim serving a rig below a private run
// directory, its "ready" line awaited with a deadline, one-line control commands on its
// control socket, and the process stopped (its sanitizer findings reported) at the end.
#pragma once

#include "tests/support/TempDir.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

class ChildProcess;

/// A file of the source tree: `path` itself when absolute, else relative to the tree's root.
std::string sourcePath(const std::string& path);

class SimProcess {
public:
    /// Starts vdsim with the rig file and waits (deadline 20 s) for its "ready" line.
    /// `launcher` is put before the vdsim command (e.g. nsenter into a network namespace).
    explicit SimProcess(const std::string& rigPath, const std::vector<std::string>& launcher = {});
    /// Stops it with SIGTERM if still running.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ready() const { return ready_; }
    /// Why it is not ready, with what vdsim printed.
    std::string error() const;
    const std::string& runDir() const { return runDir_; }
    /// Points this process's device layer (VDAPI_RUN_DIR) at the simulator.
    void exportRunDir() const;
    /// What vdsim printed so far (all of it after terminate()).
    std::string output() const;
    /// Sends SIGTERM and waits (deadline 20 s). Returns the exit code, -1 on timeout/signal.
    /// Sanitizer findings in vdsim's output fail the running test.
    int terminate();
    /// One control command; returns the reply line (without newline), or "" on failure.
    std::string control(const std::string& line) const;
    /// One control command that must succeed: true when the reply starts with "ok".
    bool command(const std::string& line) const;
    /// Repeats a control command until `expected` is its reply or `deadlineMs` passes.
    bool waitForControl(const std::string& line, const std::string& expected, int deadlineMs = 10000) const;

    std::string pciePath(int index) const;
    std::string legacyPath(int index) const;
    std::string legacyNamePath(int index) const;
    std::string pipePath() const;

private:
    TempDir dir_;
    std::string runDir_;
    std::unique_ptr<ChildProcess> process_; // vdsim, stdout and stderr together
    bool ready_ = false;
    bool stopped_ = false;
};

} // namespace test

/// Starts the simulator with `rig` (a file of tests/devices/core/rigs/, or an absolute path) as
/// `sim`, points the device layer at it, and fails the test when it does not come up.
#define START_SIM(sim, rig)                                                                   \
    ::test::SimProcess sim(::test::sourcePath(std::string(rig).front() == '/' ? std::string(rig) \
                                                : "tests/devices/core/rigs/" + std::string(rig))); \
    ASSERT_TRUE(sim.ready()) << sim.error();                                                  \
    sim.exportRunDir()
