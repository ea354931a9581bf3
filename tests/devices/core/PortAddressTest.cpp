// Addresses of IP ports in the port listing: the MAC from the port's network function block,
// and for a port that is one of the host's own adapters (MAC 00-14-F4-...) that adapter's
// addresses, checked inside a private network namespace with an adapter made for the purpose.
#include "SimProcess.h"

#include "devices/CapabilityTable.h"
#include "devices/Scan.h"
#include "devices/VdDevice.h"
#include "devices/platform/Xp.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace Vdapi;

namespace {

const uint8_t kDerivedMac[6] = {0x02, 0x56, 0x44, uint8_t(2160000808 >> 8), uint8_t(2160000808), 0x01};
const uint8_t kHostMac[6] = {0x00, 0x14, 0xF4, 0x16, 0x08, 0x02};

std::vector<HwFunctionDescriptor> ScanAll(VdResult& rc)
{
    int32_t count = 0;
    rc = ScanHwFunctions(0, count, nullptr, false, false, 1);
    std::vector<HwFunctionDescriptor> ports(size_t(std::max(count, 0)));
    if (rc == VDAPI_E_BUF_TOO_SMALL)
        rc = ScanHwFunctions(count, count, ports.data(), false, false, 1);
    return ports;
}

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

} // namespace

TEST(PortAddress, IpPortsCarryTheirMacAndOtherPortsNone)
{
    START_SIM(sim, "ip_ports.json");
    VdResult rc = 0;
    const std::vector<HwFunctionDescriptor> ports = ScanAll(rc);
    ASSERT_EQ(rc, VDAPI_OK);
    // Sorted by serial: the 2144 (four ASI/SDI ports) first, then the 2160's two IP ports.
    ASSERT_EQ(ports.size(), 6u);
    const uint8_t zero[sizeof(HwFunctionDescriptor::ipV6Address)] = {};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(std::memcmp(ports[i].macAddress, zero, 6), 0) << "non-IP port " << i;
    ASSERT_TRUE(ports[4].caps.Has(kCapIp));
    EXPECT_EQ(std::memcmp(ports[4].macAddress, kDerivedMac, 6), 0);
    EXPECT_EQ(std::memcmp(ports[5].macAddress, kHostMac, 6), 0);
    // No host adapter has that MAC here: the device's (empty) addresses stay.
    EXPECT_EQ(std::memcmp(ports[5].ipAddress, zero, 4), 0);
    EXPECT_EQ(std::memcmp(ports[5].ipV6Address, zero, sizeof ports[5].ipV6Address), 0);

    // A failing MAC read leaves the address fields as they are and the port listed.
    VdDeviceInt device;
    ASSERT_EQ(device.AttachBySerial(2160000808, false), VDAPI_OK);
    ASSERT_EQ(sim.Control("fail 0xafc86fc2 1 31"), 0);
    HwFunctionDescriptor records[2];
    int32_t count = 0;
    ASSERT_EQ(device.ListPorts(2, count, records), VDAPI_OK);
    EXPECT_EQ(std::memcmp(records[0].macAddress, zero, 6), 0);
    EXPECT_EQ(std::memcmp(records[1].macAddress, kHostMac, 6), 0);
}

namespace {

/// Runs in a child that owns a private network namespace: an adapter with the port's MAC and
/// two addresses, then the listing. Returns "" when everything matched, "SKIP", or what failed.
std::string checkHostAdapterAddresses()
{
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0)
        return "SKIP";
    if (!run("ip link add h0 address 00:14:f4:16:08:02 type veth peer name h1") ||
        !run("ip addr add 198.51.100.9/24 dev h0") || !run("ip -6 addr add 2001:db8::9/64 dev h0 nodad") ||
        !run("ip link set h0 up") || !run("ip link set h1 up"))
        return "cannot make the adapter\n";
    // The system reports the adapter up asynchronously; wait for its address to be offered.
    uint8_t address[16] = {};
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Xp::Network().GetAdapterAddress(kHostMac, AdapterAddressKind::Ipv4, address) != VDAPI_OK &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::yield();

    std::string failures;
    VdResult rc = 0;
    const std::vector<HwFunctionDescriptor> ports = ScanAll(rc);
    if (rc != VDAPI_OK || ports.size() != 6)
        return "scan: " + std::string(ResultName(rc)) + ", " + std::to_string(ports.size()) + " ports\n";
    in_addr v4{};
    ::inet_pton(AF_INET, "198.51.100.9", &v4);
    in6_addr v6{};
    ::inet_pton(AF_INET6, "2001:db8::9", &v6);
    const HwFunctionDescriptor& host = ports[5];
    if (std::memcmp(host.ipAddress, &v4, 4) != 0)
        failures += "IPv4 of the host adapter not taken\n";
    // The adapter's IPv6 addresses fill the slots from the first: ours and its link-local one.
    bool found6 = false;
    for (const auto& slot : host.ipV6Address)
        found6 = found6 || std::memcmp(slot, &v6, 16) == 0;
    if (!found6)
        failures += "IPv6 of the host adapter not taken\n";
    const uint8_t zero[16] = {};
    if (std::memcmp(host.ipV6Address[0], zero, 16) == 0)
        failures += "IPv6 slots not packed from the first\n";
    if (std::memcmp(ports[4].ipAddress, zero, 4) != 0)
        failures += "the other IP port got an address\n";
    return failures;
}

} // namespace

TEST(PortAddress, PortThatIsAHostAdapterTakesTheAdapterAddresses)
{
    if (::geteuid() != 0 || (::access("/usr/sbin/ip", X_OK) != 0 && ::access("/sbin/ip", X_OK) != 0))
        GTEST_SKIP() << "needs root and the ip tool";
    START_SIM(sim, "ip_ports.json");
    int fds[2];
    ASSERT_EQ(0, ::pipe(fds));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        const std::string report = checkHostAdapterAddresses();
        [[maybe_unused]] const ssize_t n = ::write(fds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    char buffer[1024];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 60000) != 1)
            break;
        const ssize_t n = ::read(fds[0], buffer, sizeof(buffer));
        if (n <= 0)
            break;
        report.append(buffer, size_t(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (report == "SKIP")
        GTEST_SKIP() << "no private network namespace here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(report, "");
}
