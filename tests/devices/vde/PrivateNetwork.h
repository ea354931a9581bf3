// Private test networks for the Ethernet-device tests: the test re-runs itself under
// `unshare -n`; inside, the host side has two adapters (198.51.100.1 and .2) whose veth peers
// sit on a bridge in a second namespace holding the devices' addresses (.21, .22), where the
// simulator runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vdetest {

enum class NetnsStep {
    Inside,  ///< this process runs in the private network: go on with the test
    Done,    ///< the test ran in a child process; its outcome is reported already
    Refused, ///< no private network here (reason given): skip
};

/// Runs the current test again in a private network namespace, unless already inside one.
NetnsStep EnterPrivateNetwork(std::string& reason);

/// Inside the private network: the devices' namespace with its bridge, and the host adapters.
class DeviceNetwork {
public:
    DeviceNetwork();
    ~DeviceNetwork();
    DeviceNetwork(const DeviceNetwork&) = delete;
    DeviceNetwork& operator=(const DeviceNetwork&) = delete;

    /// False (with error) when the network could not be built.
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    /// Words that run a command inside the devices' namespace.
    std::vector<std::string> launcher() const;

private:
    pid_t holder_ = -1; // keeps the devices' namespace alive until the simulator is in it
    int holderStdin_ = -1;
    bool ok_ = false;
    std::string error_;
};

} // namespace vdetest

/// Puts the rest of the test body into the private network (or skips/finishes the test).
#define VDE_IN_PRIVATE_NETWORK()                                                                   \
    do {                                                                                           \
        std::string netnsReason;                                                                   \
        const ::vdetest::NetnsStep netnsStep = ::vdetest::EnterPrivateNetwork(netnsReason);        \
        if (netnsStep == ::vdetest::NetnsStep::Refused)                                            \
            GTEST_SKIP() << netnsReason;                                                           \
        if (netnsStep == ::vdetest::NetnsStep::Done)                                               \
            return;                                                                                \
    } while (0)
