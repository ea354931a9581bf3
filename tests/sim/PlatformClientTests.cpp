// The device layer's own driver handles (IXpDriver) against the simulator: interface listing,
// legacy names, and the driver errors as the layer translates them.
#include "tests/support/SimHarness.h"

#include "devices/VdapiResult.h"
#include "base/WireBytes.h"
#include "devices/pcie/DriverProtocol.h"
#include "devices/platform/Xp.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vdsim::test {
namespace {

namespace DP = Vdapi::DriverProtocol;
using Vdapi::DriverClass;

class PlatformClient : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim_.ready()) << sim_.output();
        ::setenv("VDAPI_RUN_DIR", sim_.runDir().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("VDAPI_RUN_DIR"); }
    SimProcess sim_{std::string(HALVIX_SOURCE_DIR) + "/sim/rigs/reference.json"};
};

/// Blocks of a port for a role through a platform handle.
std::vector<DP::BlockId> blocksOf(Vdapi::IXpDriver& d, int port, int role)
{
    std::vector<uint8_t> in(DP::kListBlocksRequestSize);
    DP::encodePlainHeader(in.data());
    Vdapi::Wire::putI32(in.data() + 16, port);
    Vdapi::Wire::putI32(in.data() + 20, role);
    uint8_t out[DP::kListBlocksReplyMax];
    uint32_t got = 0;
    std::vector<DP::BlockId> blocks;
    if (d.Request(DP::kListFunctionBlocks, in.data(), uint32_t(in.size()), out, sizeof out, &got, nullptr) == Vdapi::VDAPI_OK)
        DP::decodeBlockList(out, got, blocks);
    return blocks;
}

TEST_F(PlatformClient, InterfacesListedPerClassAndLegacyNamesOpen)
{
    uint64_t mask = 0;
    auto pcie = Vdapi::Xp::NewDriver(DriverClass::Pcie);
    ASSERT_EQ(pcie->ListInterfaces(mask), Vdapi::VDAPI_OK);
    EXPECT_EQ(mask, 0x1FFu) << "nine PCIe cards at indices 0..8";
    auto legacy = Vdapi::Xp::NewDriver(DriverClass::LegacyPci);
    ASSERT_EQ(legacy->ListInterfaces(mask), Vdapi::VDAPI_OK);
    EXPECT_EQ(mask, 0x7u) << "one single-function and one two-function card";
    ASSERT_EQ(legacy->OpenLegacy(2, true), Vdapi::VDAPI_OK);
    uint8_t version[16];
    uint32_t got = 0;
    ASSERT_EQ(legacy->Request(DP::kLegacyGetVersionByName, nullptr, 0, version, sizeof version, &got, nullptr), Vdapi::VDAPI_OK);
    EXPECT_EQ(got, 16u);
    EXPECT_EQ(Vdapi::Wire::getI32(version + 4), 20);
    EXPECT_EQ(legacy->Open(3, false, true), Vdapi::VDAPI_E_NOT_FOUND);
}

TEST_F(PlatformClient, DriverErrorsTranslateToResultCodes)
{
    auto a = Vdapi::Xp::NewDriver(DriverClass::Pcie);
    auto b = Vdapi::Xp::NewDriver(DriverClass::Pcie);
    ASSERT_EQ(a->Open(0, false, true), Vdapi::VDAPI_OK);
    ASSERT_EQ(b->Open(0, false, true), Vdapi::VDAPI_OK);
    auto core = blocksOf(*a, -1, DP::kRoleCore);
    ASSERT_EQ(core.size(), 1u);

    // Unknown property: the layer sees VDAPI_E_NOT_FOUND.
    DP::PciePropertyRequest q;
    q.blockId1 = core[0].id1;
    q.blockId2 = core[0].id2;
    q.query.name = "CAP_MOD";
    q.query.port = 0;
    uint8_t in[DP::PciePropertyRequest::kSize], out[16];
    q.encode(in);
    uint32_t windowsError = 0;
    EXPECT_EQ(a->Request(DP::kGetProperty, in, sizeof in, out, sizeof out, nullptr, &windowsError), Vdapi::VDAPI_E_NOT_FOUND);
    EXPECT_EQ(windowsError, DP::kErrNotFound);

    // A block held through one handle is in use for the other, and free again once it closes.
    auto rx = blocksOf(*a, 0, DP::kRoleReceive);
    ASSERT_FALSE(rx.empty());
    uint8_t cmd[DP::FunctionBlockHeader::kSize];
    DP::FunctionBlockHeader{rx[0].id1, rx[0].id2, DP::kCmdAcquire}.encode(cmd);
    ASSERT_EQ(a->Request(DP::kExclusiveAccess, cmd, sizeof cmd, nullptr, 0, nullptr, nullptr), Vdapi::VDAPI_OK);
    EXPECT_EQ(b->Request(DP::kExclusiveAccess, cmd, sizeof cmd, nullptr, 0, nullptr, nullptr), Vdapi::VDAPI_E_IN_USE);
    a->Close();
    ASSERT_TRUE(sim_.waitForControl("holds 2144000101", "ok 0"));
    EXPECT_EQ(b->Request(DP::kExclusiveAccess, cmd, sizeof cmd, nullptr, 0, nullptr, nullptr), Vdapi::VDAPI_OK);

    // Injected Windows errors and a vanished card.
    ASSERT_EQ(sim_.control("fail 0xafc86ee2 1 995"), "ok 0xafc86ee2 fails 1 times");
    uint8_t header[DP::kHeaderSize], version[16];
    DP::encodePlainHeader(header);
    EXPECT_EQ(b->Request(DP::kGetVersion, header, sizeof header, version, sizeof version, nullptr, nullptr), Vdapi::VDAPI_E_CANCELLED);
    ASSERT_EQ(sim_.control("unplug 2144000101"), "ok unplugged");
    EXPECT_EQ(b->Request(DP::kGetVersion, header, sizeof header, version, sizeof version, nullptr, nullptr), Vdapi::VDAPI_E_COMMUNICATION);
    EXPECT_EQ(b->Open(0, false, true), Vdapi::VDAPI_E_NOT_FOUND);
}

} // namespace
} // namespace vdsim::test
