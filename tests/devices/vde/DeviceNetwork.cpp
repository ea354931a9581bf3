// The devices' namespace of the Ethernet-device tests, with its bridge and the host adapters.
#include "tests/devices/vde/DeviceNetwork.h"

#include "tests/support/SimHarness.h"
#include "tests/support/WaitUntil.h"

#include <unistd.h>

namespace vdetest {

DeviceNetwork::DeviceNetwork() : holder_({"/usr/bin/unshare", "-n", "/bin/sleep", "infinity"})
{
    if (!holder_.started()) {
        error_ = "the devices' namespace holder did not start";
        return;
    }
    // The holder has entered its namespace once its net link differs from ours.
    auto netLink = [](const std::string& process) {
        char buf[128] = {};
        return ::readlink(("/proc/" + process + "/ns/net").c_str(), buf, sizeof buf - 1) > 0 ? std::string(buf)
                                                                                               : std::string();
    };
    const std::string ours = netLink("self");
    const std::string pid = std::to_string(holder_.pid());
    if (!waitUntil([&] { return !netLink(pid).empty() && netLink(pid) != ours; })) {
        error_ = "the devices' namespace did not come up";
        return;
    }
    test::ChildProcess setup({"/bin/sh", test::sourcePath("tests/support/device-network.sh"), pid},
                             test::ChildProcess::Streams::Merged);
    if (setup.wait(std::chrono::seconds(30)) != 0) {
        error_ = "network setup failed: " + setup.output();
        return;
    }
    ok_ = true;
}

std::vector<std::string> DeviceNetwork::launcher() const
{
    return {"/usr/bin/nsenter", "-t", std::to_string(holder_.pid()), "-n"};
}

} // namespace vdetest
