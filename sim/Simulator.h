// The running simulator: serves every driver endpoint, the device-service pipe, the shared
// device list and the control socket below the run directory ($VDAPI_RUN_DIR).
//
// Its parts: the pool of workers at the listening sockets (ConnectionPool), the drivers'
// transport (DriverTransport), the service pipe and list (ServicePipe), the Ethernet devices'
// network side (EthernetDevices) and the control commands (ControlDesk), all on one SimState.
// Lock order where mutexes nest: ServicePipe -> ConnectionPool; SimState's mutexes are leaves.
#pragma once

#include "sim/ControlDesk.h"

#include <mutex>
#include <string>
#include <vector>

namespace vdsim {

class Simulator {
public:
    explicit Simulator(Rig rig);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    /// Creates the directories, sockets and list files and starts serving. Returns false with
    /// `error` set (everything created so far removed again) when something cannot be made.
    bool start(std::string& error);
    /// Stops serving, joins every thread and removes what start() created. Idempotent.
    void stop();
    /// Runs one control command line; answers "ok ..." or "error: why".
    std::string control(const std::string& line) { return control_.run(line); }

private:
    /// Serves one accepted connection by its kind; its claims end with it.
    void serve(Connection& c);
    /// Makes the run directory and its folders; false with `error` set.
    bool makeDirectories(std::string& error);

    SimState state_;
    ConnectionPool pool_{[this](Connection& c) { serve(c); }};
    DriverTransport drivers_{state_, pool_};
    ServicePipe service_{state_, pool_};
    EthernetDevices ethernet_{state_};
    ControlDesk control_{state_, pool_, drivers_, service_, ethernet_};
    std::vector<std::string> createdDirs_; // removed in reverse order by stop()

    std::mutex stopMutex_;
    bool stopping_ = false; // guarded by stopMutex_
    bool started_ = false;  // guarded by stopMutex_
};

} // namespace vdsim
