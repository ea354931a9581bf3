// Addresses of IP ports in the port listing: the MAC from the port's network function block,
// and for a port that is one of the host's own adapters (MAC 00-14-F4-...) that adapter's
// addresses, checked inside a private network namespace with an adapter made for the purpose.
#include "tests/support/SimQuery.h"

#include "tests/support/PrivateNetwork.h"
#include "tests/support/WaitUntil.h"

#include "devices/CapabilityTable.h"
#include "devices/Scan.h"
#include "devices/VdDevice.h"
#include "devices/platform/Xp.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <string>
#include <vector>

using namespace Vdapi;

namespace {

const uint8_t kDerivedMac[6] = {0x02, 0x56, 0x44, uint8_t(2160000808 >> 8), uint8_t(2160000808), 0x01};
const uint8_t kHostMac[6] = {0x00, 0x14, 0xF4, 0x16, 0x08, 0x02};

} // namespace

TEST(PortAddress, IpPortsCarryTheirMacAndOtherPortsNone)
{
    START_SIM(sim, "ip_ports.json");
    VdResult rc = 0;
    const std::vector<HwFunctionDescriptor> ports = VdapiTest::ListAllPorts(1, &rc);
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
    ASSERT_TRUE(sim.command("fail 0xafc86fc2 1 31"));
    HwFunctionDescriptor records[2];
    int32_t count = 0;
    ASSERT_EQ(device.ListPorts(2, count, records), VDAPI_OK);
    EXPECT_EQ(std::memcmp(records[0].macAddress, zero, 6), 0);
    EXPECT_EQ(std::memcmp(records[1].macAddress, kHostMac, 6), 0);
}

TEST(PortAddress, PortThatIsAHostAdapterTakesTheAdapterAddresses)
{
    IN_PRIVATE_NETWORK();
    using TestSupport::RunQuiet;
    ASSERT_TRUE(RunQuiet("ip link add h0 address 00:14:f4:16:08:02 type veth peer name h1") &&
                RunQuiet("ip addr add 198.51.100.9/24 dev h0") &&
                RunQuiet("ip -6 addr add 2001:db8::9/64 dev h0 nodad") && RunQuiet("ip link set h0 up") &&
                RunQuiet("ip link set h1 up"))
        << "cannot make the adapter";
    START_SIM(sim, "ip_ports.json");
    // The system reports the adapter up asynchronously; wait for its address to be offered.
    uint8_t address[16] = {};
    EXPECT_TRUE(waitUntil(
        [&] { return Xp::Network().GetAdapterAddress(kHostMac, AdapterAddressKind::Ipv4, address) == VDAPI_OK; }));

    VdResult rc = 0;
    const std::vector<HwFunctionDescriptor> ports = VdapiTest::ListAllPorts(1, &rc);
    ASSERT_EQ(rc, VDAPI_OK);
    ASSERT_EQ(ports.size(), 6u);
    in_addr v4{};
    ::inet_pton(AF_INET, "198.51.100.9", &v4);
    in6_addr v6{};
    ::inet_pton(AF_INET6, "2001:db8::9", &v6);
    const HwFunctionDescriptor& host = ports[5];
    EXPECT_EQ(std::memcmp(host.ipAddress, &v4, 4), 0) << "IPv4 of the host adapter not taken";
    // The adapter's IPv6 addresses fill the slots from the first: ours and its link-local one.
    bool found6 = false;
    for (const auto& slot : host.ipV6Address)
        found6 = found6 || std::memcmp(slot, &v6, 16) == 0;
    EXPECT_TRUE(found6) << "IPv6 of the host adapter not taken";
    const uint8_t zero[16] = {};
    EXPECT_NE(std::memcmp(host.ipV6Address[0], zero, 16), 0) << "IPv6 slots not packed from the first";
    EXPECT_EQ(std::memcmp(ports[4].ipAddress, zero, 4), 0) << "the other IP port got an address";
}
