// Adapter listing against adapters made for the purpose: a private network namespace with a veth
// pair (needs root; skipped otherwise). The test runs again inside the namespace.
#include "TestRunDir.h"

#include "tests/support/PrivateNetwork.h"

#include "devices/platform/Xp.h"

#include <arpa/inet.h>

#include <cstring>
#include <string>

namespace Vdapi {
namespace {

const uint8_t kMac0[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const uint8_t kMac1[6] = {0x00, 0x14, 0xF4, 0x00, 0x00, 0x02};

bool run(const std::string& command)
{
    return TestSupport::RunQuiet(command);
}

TEST(XpNetworkNamespace, ListsVethAdaptersWithTheirAddresses)
{
    IN_PRIVATE_NETWORK();
    ASSERT_TRUE(run("ip link add v0 address 02:00:00:00:00:01 type veth peer name v1 address 00:14:f4:00:00:02") &&
                run("ip addr add 198.51.100.1/24 dev v0") && run("ip link set v0 up") &&
                run("ip link set v1 up") && run("ip link set lo up"))
        << "cannot set up the veth pair";
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(run("ip -6 addr add 2001:db8::" + std::to_string(i) + "/64 dev v0 nodad")) << "ipv6 address";

    IXpNetwork& network = Xp::Network();
    // Wait for the pair to report its link, as the system brings it up asynchronously.
    AdapterLinkState state;
    TestSupport::waitUntil([&] { return network.GetLinkState(kMac0, state) == VDAPI_OK && state.up; });
    EXPECT_TRUE(state.up) << "v0 never came up";
    EXPECT_TRUE(state.transmitBps > 0 && state.transmitBps == state.receiveBps) << "v0 speed unknown";

    NetAdapterInfo entries[4];
    int count = 0;
    EXPECT_TRUE(network.GetAdapters(4, count, entries) == VDAPI_OK) << "GetAdapters failed";
    EXPECT_TRUE(count == 2) << "expected v0 and v1 only (loopback skipped), got " + std::to_string(count);
    if (count != 2)
        return;
    // The peer v1 is made first, so it has the lower interface index and comes first.
    EXPECT_TRUE(entries[0].interfaceIndex < entries[1].interfaceIndex) << "system order";
    const int i0 = std::memcmp(entries[0].macAddress, kMac0, 6) == 0 ? 0 : 1;
    const NetAdapterInfo& v0 = entries[i0];
    const NetAdapterInfo& v1 = entries[1 - i0];
    EXPECT_TRUE(std::memcmp(v0.macAddress, kMac0, 6) == 0) << "v0 listed";
    EXPECT_TRUE(std::memcmp(v1.macAddress, kMac1, 6) == 0) << "v1 listed, its vendor prefix not filtered here";
    EXPECT_TRUE(v0.macLength == 6 && v1.macLength == 6) << "MAC length";
    EXPECT_TRUE(v0.nameHash == AdapterNameHash("v0") && v1.nameHash == AdapterNameHash("v1")) << "name hashes";
    char name[3];
    EXPECT_TRUE(network.GetAdapterName(kMac0, name, 3) == VDAPI_OK && std::string(name) == "v0") << "v0's name";
    EXPECT_TRUE(network.GetAdapterName(kMac1, name, 2) == VDAPI_E_BUF_TOO_SMALL && name[0] == '\0')
        << "a name without room for its NUL";
    const uint8_t unknown[6] = {0x02, 0, 0, 0, 0, 0x77};
    EXPECT_TRUE(network.GetAdapterName(unknown, name, 3) == VDAPI_E_NOT_FOUND) << "unknown MAC";
    in_addr expected{};
    ::inet_pton(AF_INET, "198.51.100.1", &expected);
    EXPECT_TRUE(std::memcmp(v0.ipv4Address, &expected, 4) == 0) << "v0 IPv4";
    const uint8_t zero[16] = {};
    EXPECT_TRUE(std::memcmp(v1.ipv4Address, zero, 4) == 0) << "v1 has no IPv4: 0.0.0.0";
    // v0 has five IPv6 addresses (four global, one link-local): only three are listed, all different.
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(std::memcmp(v0.ipv6Addresses[k], zero, 16) != 0) << "v0 IPv6 slot " + std::to_string(k);
    EXPECT_TRUE(std::memcmp(v0.ipv6Addresses[0], v0.ipv6Addresses[1], 16) != 0 &&
                std::memcmp(v0.ipv6Addresses[1], v0.ipv6Addresses[2], 16) != 0 &&
                std::memcmp(v0.ipv6Addresses[0], v0.ipv6Addresses[2], 16) != 0) << "v0 IPv6 addresses repeat";
    // v1 has at most its link-local address; the unused slots stay zero.
    EXPECT_TRUE(std::memcmp(v1.ipv6Addresses[1], zero, 16) == 0 &&
                std::memcmp(v1.ipv6Addresses[2], zero, 16) == 0) << "v1 unused IPv6 slots zero";

    EXPECT_TRUE(network.GetAdapters(1, count, entries) == VDAPI_E_BUF_TOO_SMALL && count == 1) << "cut list";

    uint8_t address[16];
    EXPECT_TRUE(network.GetAdapterAddress(kMac0, AdapterAddressKind::Ipv4, address) == VDAPI_OK &&
                std::memcmp(address, &expected, 4) == 0) << "address of v0 by MAC";
    EXPECT_TRUE(network.GetAdapterAddress(kMac1, AdapterAddressKind::Ipv4, address) == VDAPI_E_NOT_FOUND) << "v1 has no IPv4 to give";
    EXPECT_TRUE(run("ip link set v1 down")) << "set v1 down";
    EXPECT_TRUE(network.GetAdapterAddress(kMac1, AdapterAddressKind::Ipv6First, address) == VDAPI_E_NOT_FOUND) << "an adapter that is down gives no address";
    EXPECT_TRUE(network.GetLinkState(kMac1, state) == VDAPI_OK && !state.up) << "v1 reported down";
}

} // namespace
} // namespace Vdapi
