// Windows adapter list: the walk over a system list built by hand, the two-call buffer rule
// against a stand-in for the system call, and the real list against the older adapter call.
#include "devices/platform/Xp.h"
#include "devices/platform/windows/XpNetworkWindows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

namespace Vdapi {
namespace {

/// One hand-made adapter of a system list with its unicast addresses.
struct FakeAdapter {
    IP_ADAPTER_ADDRESSES record{};
    std::vector<sockaddr_in6> ipv6;
    sockaddr_in ipv4{};
    std::vector<IP_ADAPTER_UNICAST_ADDRESS> unicast;

    FakeAdapter(const char* name, ULONG macLength, uint8_t macLast, DWORD index)
    {
        record.AdapterName = const_cast<char*>(name);
        record.PhysicalAddressLength = macLength;
        for (ULONG i = 0; i < macLength; ++i)
            record.PhysicalAddress[i] = static_cast<BYTE>(i == macLength - 1 ? macLast : 0x02);
        record.IfIndex = index;
    }
    /// Links the addresses: IPv6 ones first, then IPv4 when ipv4Last is non-zero.
    void link(int ipv6Count, uint8_t ipv4Last)
    {
        ipv6.resize(ipv6Count);
        for (int i = 0; i < ipv6Count; ++i) {
            ipv6[i].sin6_family = AF_INET6;
            ipv6[i].sin6_addr.s6_addr[15] = static_cast<uint8_t>(i + 1);
        }
        unicast.resize(ipv6Count + (ipv4Last ? 1 : 0));
        for (int i = 0; i < ipv6Count; ++i)
            unicast[i].Address = {reinterpret_cast<sockaddr*>(&ipv6[i]), sizeof(sockaddr_in6)};
        if (ipv4Last) {
            ipv4.sin_family = AF_INET;
            ipv4.sin_addr.s_addr = htonl(0x0A010200u | ipv4Last);
            unicast.back().Address = {reinterpret_cast<sockaddr*>(&ipv4), sizeof(sockaddr_in)};
        }
        for (size_t i = 0; i + 1 < unicast.size(); ++i)
            unicast[i].Next = &unicast[i + 1];
        record.FirstUnicastAddress = unicast.empty() ? nullptr : unicast.data();
    }
};

TEST(NetworkWindows, WalkTakesSixByteAdaptersWithTheirFirstAddresses)
{
    FakeAdapter a("{AAAA}", 6, 0xA1, 7), loopback("{LOOP}", 0, 0, 1), c("{CCCC}", 6, 0xC3, 9);
    a.link(4, 0); // four IPv6 addresses, no IPv4
    loopback.link(0, 1);
    c.link(1, 3); // one IPv6, then the IPv4 10.1.2.3
    a.record.Next = &loopback.record;
    loopback.record.Next = &c.record;

    NetAdapterInfo entries[3];
    std::memset(entries, 0xCC, sizeof(entries));
    int count = -1;
    ASSERT_EQ(VDAPI_OK, XpNetworkWindows::FillAdapters(&a.record, 3, count, entries));
    ASSERT_EQ(2, count);
    const uint8_t macA[6] = {2, 2, 2, 2, 2, 0xA1};
    EXPECT_EQ(0, std::memcmp(macA, entries[0].macAddress, 6));
    EXPECT_EQ(6u, entries[0].macLength);
    EXPECT_EQ(7u, entries[0].interfaceIndex);
    EXPECT_EQ(AdapterNameHash("{AAAA}"), entries[0].nameHash);
    const uint8_t none[4] = {};
    EXPECT_EQ(0, std::memcmp(none, entries[0].ipv4Address, 4));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(i + 1, entries[0].ipv6Addresses[i][15]); // the fourth is left out
    const uint8_t ipv4C[4] = {10, 1, 2, 3};
    EXPECT_EQ(0, std::memcmp(ipv4C, entries[1].ipv4Address, 4));
    EXPECT_EQ(1, entries[1].ipv6Addresses[0][15]);
    EXPECT_EQ(0, entries[1].ipv6Addresses[1][15]);
    EXPECT_EQ(9u, entries[1].interfaceIndex);
    NetAdapterInfo zero{};
    EXPECT_EQ(0, std::memcmp(&zero, &entries[2], sizeof(zero))); // room not used is zeroed

    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, XpNetworkWindows::FillAdapters(&a.record, 1, count, entries));
    EXPECT_EQ(1, count);
    EXPECT_EQ(7u, entries[0].interfaceIndex);
    EXPECT_EQ(VDAPI_E_INVALID_BUF, XpNetworkWindows::FillAdapters(&a.record, 1, count, nullptr));
}

// A stand-in for GetAdaptersAddresses: asks for more room `overflows` times, then lists one adapter.
struct ListCalls {
    int overflows = 0;
    ULONG failure = NO_ERROR;
    std::vector<ULONG> sizes;
    std::vector<ULONG> flags;
    std::vector<ULONG> families;
};
ListCalls calls;

ULONG WINAPI fakeList(ULONG family, ULONG flags, PVOID, PIP_ADAPTER_ADDRESSES list, PULONG size)
{
    calls.sizes.push_back(*size);
    calls.flags.push_back(flags);
    calls.families.push_back(family);
    if (calls.failure != NO_ERROR)
        return calls.failure;
    if (calls.overflows-- > 0) {
        *size = 50000;
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(list, 0, sizeof(*list));
    list->PhysicalAddressLength = 6;
    list->PhysicalAddress[5] = 0x5E;
    list->IfIndex = 42;
    list->OperStatus = IfOperStatusUp;
    list->TransmitLinkSpeed = 1000000000ull;
    list->ReceiveLinkSpeed = ~0ull; // unknown
    return NO_ERROR;
}

TEST(NetworkWindows, ListIsReadWithThirtyKilobytesThenOnceWithTheSizeAskedFor)
{
    XpNetworkWindows network(fakeList);
    NetAdapterInfo entries[4];
    int count = 0;
    calls = ListCalls{};
    calls.overflows = 1;
    ASSERT_EQ(VDAPI_OK, network.GetAdapters(4, count, entries));
    EXPECT_EQ(1, count);
    EXPECT_EQ(42u, entries[0].interfaceIndex);
    ASSERT_EQ(2u, calls.sizes.size());
    EXPECT_EQ(30720u, calls.sizes[0]);
    EXPECT_EQ(50000u, calls.sizes[1]);
    EXPECT_EQ(0xBEu, calls.flags[0]);
    EXPECT_EQ(ULONG(AF_UNSPEC), calls.families[0]);

    calls = ListCalls{};
    calls.overflows = 2; // still too small after the retry: no third call
    EXPECT_EQ(VDAPI_E_NW_DRIVER, network.GetAdapters(4, count, entries));
    EXPECT_EQ(2u, calls.sizes.size());
    calls = ListCalls{};
    calls.failure = ERROR_INVALID_PARAMETER;
    EXPECT_EQ(VDAPI_E_NW_DRIVER, network.GetAdapters(4, count, entries));
    EXPECT_EQ(1u, calls.sizes.size());

    // State, speeds and name come from the same list; an all-ones speed is unknown.
    calls = ListCalls{};
    const uint8_t mac[6] = {0, 0, 0, 0, 0, 0x5E};
    AdapterLinkState state;
    ASSERT_EQ(VDAPI_OK, network.GetLinkState(mac, state));
    EXPECT_TRUE(state.up);
    EXPECT_EQ(1000000000ull, state.transmitBps);
    EXPECT_EQ(0ull, state.receiveBps);
    const uint8_t other[6] = {0, 0, 0, 0, 0, 0x5F};
    EXPECT_EQ(VDAPI_E_NOT_FOUND, network.GetLinkState(other, state));
    uint8_t address[16];
    EXPECT_EQ(VDAPI_E_NOT_FOUND, network.GetAdapterAddress(mac, AdapterAddressKind::Ipv4, address)); // has none
    char name[8];
    EXPECT_EQ(VDAPI_OK, network.GetAdapterName(mac, name, sizeof(name)));
    EXPECT_STREQ("", name);
}

TEST(NetworkWindows, ThisMachinesListAgreesWithTheOlderAdapterCall)
{
    NetAdapterInfo entries[64];
    int count = 0;
    ASSERT_EQ(VDAPI_OK, Xp::Network().GetAdapters(64, count, entries));
    // GetAdaptersInfo lists the IPv4 adapters another way; every Ethernet one it knows is ours too.
    ULONG size = 0;
    std::set<DWORD> indices;
    if (::GetAdaptersInfo(nullptr, &size) == ERROR_BUFFER_OVERFLOW) {
        std::vector<uint8_t> buffer(size);
        auto* info = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
        ASSERT_EQ(ERROR_SUCCESS, ::GetAdaptersInfo(info, &size));
        for (; info != nullptr; info = info->Next)
            if (info->AddressLength == 6)
                indices.insert(info->Index);
    }
    std::set<DWORD> ours;
    for (int i = 0; i < count; ++i)
        ours.insert(entries[i].interfaceIndex);
    for (DWORD index : indices)
        EXPECT_TRUE(ours.count(index)) << "adapter " << index << " missing";
}

} // namespace
} // namespace Vdapi
