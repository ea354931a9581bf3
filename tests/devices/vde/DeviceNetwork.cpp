// The devices' namespace of the Ethernet-device tests, with its bridge and the host adapters.
#include "tests/devices/vde/DeviceNetwork.h"

#include "tests/support/SimHarness.h"
#include "tests/support/WaitUntil.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vdetest {

DeviceNetwork::DeviceNetwork()
{
    int in[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        error_ = "pipe";
        return;
    }
    holder_ = ::fork();
    if (holder_ == 0) {
        ::dup2(in[0], 0);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::execl("/usr/bin/unshare", "unshare", "-n", "/bin/cat", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    holderStdin_ = in[1];
    if (holder_ < 0) {
        error_ = "fork";
        return;
    }
    // The holder has entered its namespace once its net link differs from ours.
    auto netLink = [](const std::string& process) {
        char buf[128] = {};
        return ::readlink(("/proc/" + process + "/ns/net").c_str(), buf, sizeof buf - 1) > 0 ? std::string(buf)
                                                                                               : std::string();
    };
    const std::string ours = netLink("self");
    const std::string pid = std::to_string(holder_);
    if (!waitUntil([&] { return !netLink(pid).empty() && netLink(pid) != ours; })) {
        error_ = "the devices' namespace did not come up";
        return;
    }
    const vdsim::test::RunResult run = vdsim::test::runProgram(
        {"/bin/sh", std::string(HALVIX_SOURCE_DIR) + "/tests/support/device-network.sh", pid}, 30000);
    if (run.exitCode != 0) {
        error_ = "network setup failed: " + run.output;
        return;
    }
    ok_ = true;
}

DeviceNetwork::~DeviceNetwork()
{
    if (holderStdin_ >= 0)
        ::close(holderStdin_); // cat ends at end of input
    if (holder_ > 0) {
        int status = 0;
        ::waitpid(holder_, &status, 0);
    }
}

std::vector<std::string> DeviceNetwork::launcher() const
{
    return {"/usr/bin/nsenter", "-t", std::to_string(holder_), "-n"};
}

} // namespace vdetest
