// The state and speed of this machine's adapters, read from a substitute sysfs folder (their addresses
// by MAC: NicScan.AdaptersInAPrivateNetwork, on adapters made for the purpose).
#include "tests/devices/platform/TestRunDir.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/XpNetworkPosix.h"

#include <net/if.h>

#include <filesystem>
#include <fstream>

namespace Vdapi {
namespace {

namespace fs = std::filesystem;

class LinkStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        int count = 0; // the first adapter only: "more exist" is no failure
        const VdResult rc = Xp::Network().GetAdapters(1, count, &adapter);
        ASSERT_TRUE(rc == VDAPI_OK || rc == VDAPI_E_BUF_TOO_SMALL) << rc;
        if (count == 0)
            GTEST_SKIP() << "no adapter with a 6-byte address on this machine";
        char buffer[IF_NAMESIZE] = {};
        ASSERT_NE(nullptr, ::if_indextoname(adapter.interfaceIndex, buffer));
        name = buffer;
        fs::create_directories(sysfs.path() + "/" + name);
    }

    void setAttribute(const char* attribute, const std::string& value)
    {
        std::ofstream(sysfs.path() + "/" + name + "/" + attribute) << value << "\n";
    }

    TestSupport::TempRunDir sysfs;
    NetAdapterInfo adapter{};
    const uint8_t (&mac)[6] = adapter.macAddress;
    std::string name;
    XpNetworkPosix network{sysfs.path()};
};

TEST_F(LinkStateTest, StateAndSpeedComeFromTheInterfaceAttributes)
{
    setAttribute("operstate", "up");
    setAttribute("speed", "1000");
    AdapterLinkState state;
    ASSERT_EQ(VDAPI_OK, network.GetLinkState(mac, state));
    EXPECT_TRUE(state.up);
    EXPECT_EQ(1000000000u, state.transmitBps);
    EXPECT_EQ(1000000000u, state.receiveBps);

    setAttribute("operstate", "down");
    setAttribute("speed", "-1"); // what an adapter without a link reports
    ASSERT_EQ(VDAPI_OK, network.GetLinkState(mac, state));
    EXPECT_FALSE(state.up);
    EXPECT_EQ(0u, state.transmitBps);
    setAttribute("speed", "garbage");
    ASSERT_EQ(VDAPI_OK, network.GetLinkState(mac, state));
    EXPECT_EQ(0u, state.receiveBps);

    const uint8_t unknown[6] = {0x00, 0x14, 0xF4, 0x01, 0x02, 0x03};
    EXPECT_EQ(VDAPI_E_NOT_FOUND, network.GetLinkState(unknown, state));
}

} // namespace
} // namespace Vdapi
