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
    const std::string script =
        "set -e\n"
        "ip link set lo up\n"
        "ip link add d1 type veth peer name h1\n"
        "ip link add d2 type veth peer name h2\n"
        "ip link set d1 netns " + pid + "\n"
        "ip link set d2 netns " + pid + "\n"
        "ip addr add 198.51.100.1/24 dev h1\n"
        "ip addr add 198.51.100.2/24 dev h2\n"
        "ip link set h1 multicast on up\n"
        "ip link set h2 multicast on up\n"
        "nsenter -t " + pid + " -n sh -ec '"
        "ip link set lo up; "
        "ip link add br0 type bridge mcast_snooping 0; "
        "ip link set d1 master br0; ip link set d2 master br0; "
        "ip link set d1 up; ip link set d2 up; ip link set br0 multicast on up; "
        "ip addr add 198.51.100.21/24 dev br0; ip addr add 198.51.100.22/24 dev br0'\n";
    const vdsim::test::RunResult run = vdsim::test::runProgram({"/bin/sh", "-c", script}, 30000);
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
