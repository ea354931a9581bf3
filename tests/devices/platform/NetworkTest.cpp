// This machine's network adapters through the platform facade, alike on every system: the name
// hash behind the serial numbers, the two-call rule of the list, names and states by address.
#include "devices/platform/Xp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace Vdapi {
namespace {

TEST(AdapterNameHash, FollowsDjb2WithSignedCharacters)
{
    EXPECT_EQ(5381u, AdapterNameHash(nullptr));
    EXPECT_EQ(5381u, AdapterNameHash(""));
    EXPECT_EQ(5381u * 33u + 'a', AdapterNameHash("a"));
    EXPECT_EQ(5381u * 33u - 23u, AdapterNameHash("\xE9")); // 0xE9 counts as -23
    // Every character counts (the pseudo-adapter serial made from it: NicScan.AdaptersInAPrivateNetwork).
    EXPECT_EQ((5381u * 33u + 'a') * 33u + 'b', AdapterNameHash("ab"));
}

TEST(XpNetwork, ListsThisMachinesAdaptersByTheTwoCallRule)
{
    IXpNetwork& network = Xp::Network();
    std::vector<NetAdapterInfo> adapters(64);
    int count = -1;
    ASSERT_EQ(VDAPI_OK, network.GetAdapters(int(adapters.size()), count, adapters.data()));
    adapters.resize(size_t(std::max(count, 0)));
    for (const NetAdapterInfo& a : adapters)
        EXPECT_EQ(6u, a.macLength);
    const uint8_t unknown[6] = {0x02, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE};
    char name[256];
    EXPECT_EQ(VDAPI_E_NOT_FOUND, network.GetAdapterName(unknown, name, sizeof(name)));
    EXPECT_EQ(VDAPI_E_INVALID_BUF, network.GetAdapters(3, count, nullptr));
    if (adapters.empty())
        GTEST_SKIP() << "no adapter with a 6-byte address on this machine";

    // No room reports "more exist"; a short buffer is filled and nothing beyond it is touched.
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, network.GetAdapters(0, count, nullptr));
    EXPECT_EQ(0, count);
    std::vector<NetAdapterInfo> one(2);
    std::memset(one.data(), 0xFF, sizeof(NetAdapterInfo) * 2);
    EXPECT_EQ(adapters.size() > 1 ? VDAPI_E_BUF_TOO_SMALL : VDAPI_OK,
              network.GetAdapters(1, count, one.data()));
    EXPECT_EQ(1, count);
    EXPECT_EQ(0, std::memcmp(&adapters[0], &one[0], sizeof(NetAdapterInfo)));
    EXPECT_EQ(0xFF, reinterpret_cast<const uint8_t*>(&one[1])[0]);
    EXPECT_EQ(VDAPI_E_INVALID_BUF, network.GetAdapters(-1, count, one.data()));

    EXPECT_EQ(VDAPI_OK, network.GetAdapterName(adapters[0].macAddress, name, sizeof(name)));
    EXPECT_NE('\0', name[0]);
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, network.GetAdapterName(adapters[0].macAddress, name, 1));
    AdapterLinkState state;
    EXPECT_EQ(VDAPI_OK, network.GetLinkState(adapters[0].macAddress, state));
}

} // namespace
} // namespace Vdapi
