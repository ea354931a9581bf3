// The control socket's side of the simulator: reads command lines from a control connection
// and serves each through the command table (ControlCommands.h), one handler per command.
#pragma once

#include "sim/ControlCommands.h"
#include "sim/DriverTransport.h"
#include "sim/EthernetDevices.h"
#include "sim/ServicePipe.h"

#include <string>

namespace vdsim {

class ControlDesk {
public:
    ControlDesk(SimState& state, ConnectionPool& pool, DriverTransport& drivers, ServicePipe& service,
                EthernetDevices& ethernet)
        : state_(state), pool_(pool), drivers_(drivers), service_(service), ethernet_(ethernet)
    {
    }

    /// Runs one command line; answers "ok ..." or "error: why".
    std::string run(const std::string& line);
    /// Answers a control connection's lines until the client or the simulator goes.
    void serve(Connection& c);

    // The handlers the command table names; each gets the command's words, the name first.
    std::string help(const ControlWords& a);
    std::string ping(const ControlWords& a);
    std::string devices(const ControlWords& a);
    std::string hold(const ControlWords& a) { return holdOrRelease(a, true); }
    std::string release(const ControlWords& a) { return holdOrRelease(a, false); }
    std::string holds(const ControlWords& a);
    std::string unplug(const ControlWords& a) { return plugOrUnplug(a, false); }
    std::string plug(const ControlWords& a) { return plugOrUnplug(a, true); }
    std::string linkSpeed(const ControlWords& a);
    std::string fail(const ControlWords& a);
    std::string corrupt(const ControlWords& a);
    std::string delay(const ControlWords& a);
    std::string service(const ControlWords& a);
    std::string list(const ControlWords& a);
    std::string counters(const ControlWords& a);
    std::string fastPath(const ControlWords& a);
    std::string batches(const ControlWords& a);
    std::string fillOpen(const ControlWords& a);
    std::string vde(const ControlWords& a);

private:
    std::string holdOrRelease(const ControlWords& a, bool hold);
    /// hold/release of an Ethernet device's port (the whole port); caller holds state_.lock().
    std::string holdEthernetPort(const ControlWords& a, int64_t serial, int32_t port, bool hold);
    std::string plugOrUnplug(const ControlWords& a, bool plug);

    SimState& state_;
    ConnectionPool& pool_;
    DriverTransport& drivers_;
    ServicePipe& service_;
    EthernetDevices& ethernet_;
};

} // namespace vdsim
