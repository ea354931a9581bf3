// Adapter listing against adapters made for the purpose: a private network namespace with a veth
// pair (needs root; skipped otherwise). The checks run in a child process that owns the namespace.
#include "TestRunDir.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/UniqueFd.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <string>

namespace Vdapi {
namespace {

const uint8_t kMac0[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const uint8_t kMac1[6] = {0x00, 0x14, 0xF4, 0x00, 0x00, 0x02};

/// Collects failed checks of the child as text for the parent.
class Findings {
public:
    void check(bool ok, const std::string& what)
    {
        if (!ok)
            text_ << what << "\n";
    }
    std::string text() const { return text_.str(); }

private:
    std::ostringstream text_;
};

bool run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

/// Moves into a fresh network namespace whose sysfs shows it; false when not permitted.
bool enterPrivateNetwork()
{
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
        return false;
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("sysfs", "/sys", "sysfs", 0, nullptr) == 0;
}

std::string checkAdaptersInNamespace()
{
    Findings f;
    if (!run("ip link add v0 address 02:00:00:00:00:01 type veth peer name v1 address 00:14:f4:00:00:02") ||
        !run("ip addr add 198.51.100.1/24 dev v0") || !run("ip link set v0 up") ||
        !run("ip link set v1 up") || !run("ip link set lo up"))
        return "cannot set up the veth pair\n";
    for (int i = 1; i <= 4; ++i)
        f.check(run("ip -6 addr add 2001:db8::" + std::to_string(i) + "/64 dev v0 nodad"), "ipv6 address");

    IXpNetwork& network = Xp::Network();
    // Wait for the pair to report its link, as the system brings it up asynchronously.
    AdapterLinkState state;
    TestSupport::waitUntil([&] { return network.GetLinkState(kMac0, state) == VDAPI_OK && state.up; });
    f.check(state.up, "v0 never came up");
    f.check(state.transmitBps > 0 && state.transmitBps == state.receiveBps, "v0 speed unknown");

    NetAdapterInfo entries[4];
    int count = 0;
    f.check(network.GetAdapters(4, count, entries) == VDAPI_OK, "GetAdapters failed");
    f.check(count == 2, "expected v0 and v1 only (loopback skipped), got " + std::to_string(count));
    if (count != 2)
        return f.text();
    // The peer v1 is made first, so it has the lower interface index and comes first.
    f.check(entries[0].interfaceIndex < entries[1].interfaceIndex, "system order");
    const int i0 = std::memcmp(entries[0].macAddress, kMac0, 6) == 0 ? 0 : 1;
    const NetAdapterInfo& v0 = entries[i0];
    const NetAdapterInfo& v1 = entries[1 - i0];
    f.check(std::memcmp(v0.macAddress, kMac0, 6) == 0, "v0 listed");
    f.check(std::memcmp(v1.macAddress, kMac1, 6) == 0, "v1 listed, its vendor prefix not filtered here");
    f.check(v0.macLength == 6 && v1.macLength == 6, "MAC length");
    f.check(v0.nameHash == AdapterNameHash("v0") && v1.nameHash == AdapterNameHash("v1"), "name hashes");
    in_addr expected{};
    ::inet_pton(AF_INET, "198.51.100.1", &expected);
    f.check(std::memcmp(v0.ipv4Address, &expected, 4) == 0, "v0 IPv4");
    const uint8_t zero[16] = {};
    f.check(std::memcmp(v1.ipv4Address, zero, 4) == 0, "v1 has no IPv4: 0.0.0.0");
    // v0 has five IPv6 addresses (four global, one link-local): only three are listed, all different.
    for (int k = 0; k < 3; ++k)
        f.check(std::memcmp(v0.ipv6Addresses[k], zero, 16) != 0, "v0 IPv6 slot " + std::to_string(k));
    f.check(std::memcmp(v0.ipv6Addresses[0], v0.ipv6Addresses[1], 16) != 0 &&
                std::memcmp(v0.ipv6Addresses[1], v0.ipv6Addresses[2], 16) != 0 &&
                std::memcmp(v0.ipv6Addresses[0], v0.ipv6Addresses[2], 16) != 0,
            "v0 IPv6 addresses repeat");
    // v1 has at most its link-local address; the unused slots stay zero.
    f.check(std::memcmp(v1.ipv6Addresses[1], zero, 16) == 0 &&
                std::memcmp(v1.ipv6Addresses[2], zero, 16) == 0,
            "v1 unused IPv6 slots zero");

    f.check(network.GetAdapters(1, count, entries) == VDAPI_E_BUF_TOO_SMALL && count == 1, "cut list");

    uint8_t address[16];
    f.check(network.GetAdapterAddress(kMac0, AdapterAddressKind::Ipv4, address) == VDAPI_OK &&
                std::memcmp(address, &expected, 4) == 0,
            "address of v0 by MAC");
    f.check(network.GetAdapterAddress(kMac1, AdapterAddressKind::Ipv4, address) == VDAPI_E_NOT_FOUND,
            "v1 has no IPv4 to give");
    f.check(run("ip link set v1 down"), "set v1 down");
    f.check(network.GetAdapterAddress(kMac1, AdapterAddressKind::Ipv6First, address) == VDAPI_E_NOT_FOUND,
            "an adapter that is down gives no address");
    f.check(network.GetLinkState(kMac1, state) == VDAPI_OK && !state.up, "v1 reported down");
    return f.text();
}

TEST(XpNetworkNamespace, ListsVethAdaptersWithTheirAddresses)
{
    if (::geteuid() != 0 || (::access("/usr/sbin/ip", X_OK) != 0 && ::access("/sbin/ip", X_OK) != 0))
        GTEST_SKIP() << "needs root and the ip tool";
    int fds[2];
    ASSERT_EQ(0, ::pipe(fds));
    UniqueFd fromChild(fds[0]), toParent(fds[1]);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        fromChild.reset();
        const std::string report = enterPrivateNetwork() ? checkAdaptersInNamespace() : std::string("SKIP");
        [[maybe_unused]] const ssize_t n = ::write(toParent.get(), report.data(), report.size());
        ::_exit(0);
    }
    toParent.reset();
    std::string report;
    char buffer[1024];
    for (;;) {
        pollfd p{fromChild.get(), POLLIN, 0};
        if (::poll(&p, 1, 60000) != 1)
            break;
        const ssize_t n = ::read(fromChild.get(), buffer, sizeof(buffer));
        if (n <= 0)
            break;
        report.append(buffer, size_t(n));
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    if (report == "SKIP")
        GTEST_SKIP() << "no permission for a private network namespace";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ("", report);
}

} // namespace
} // namespace Vdapi
