// The Ethernet-device tests' network, built inside the test's private network namespace
// (tests/support/PrivateNetwork.h): the host side has two adapters (198.51.100.1 and .2) whose veth peers
// sit on a bridge in a second namespace holding the devices' addresses (.21, .22), where the
// simulator runs.
#pragma once

#include "tests/support/ChildProcess.h"

#include <string>
#include <vector>

namespace vdetest {

/// Inside the private network: the devices' namespace with its bridge, and the host adapters.
class DeviceNetwork {
public:
    DeviceNetwork();
    DeviceNetwork(const DeviceNetwork&) = delete;
    DeviceNetwork& operator=(const DeviceNetwork&) = delete;

    /// False (with error) when the network could not be built.
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    /// Words that run a command inside the devices' namespace.
    std::vector<std::string> launcher() const;

private:
    test::ChildProcess holder_; // keeps the devices' namespace alive until the simulator is in it
    bool ok_ = false;
    std::string error_;
};

} // namespace vdetest
