// The simulated kernel drivers, driven over their sockets by hand: a port held through the
// control socket, a broken request stream, and the legacy driver's multi-function cards. The
// PCIe requests' answers and errors are DriverHandle.SocketAndSlotGiveTheSameAnswers; the
// records' bytes are GoldenRecords.
#include "tests/support/SimHarness.h"

#include "base/WireBytes.h"
#include "devices/pcie/DriverProtocol.h"
#include "devices/platform/posix/DriverWire.h"

#include <gtest/gtest.h>

namespace vdsim::test {
namespace {

namespace DP = Vdapi::DriverProtocol;
namespace DW = Vdapi::DriverWire;
using Vdapi::Wire::getI32;
using Vdapi::Wire::getI64;


// Legacy interface index of the reference rig's 124 card.
constexpr int kLegacy124First = 1;
constexpr uint32_t kGetBlocks = DP::kListFunctionBlocks;

class DriverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sim_ = new SimProcess(kReferenceRig); }
    static void TearDownTestSuite()
    {
        delete sim_;
        sim_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(sim_->ready()) << sim_->output(); }

    /// Blocks of a port for a role, as the device layer learns them.
    static std::vector<DP::BlockId> blocks(DriverConnection& c, int port, int role)
    {
        std::vector<uint8_t> in = plainHeader();
        auto more = words({port, role});
        in.insert(in.end(), more.begin(), more.end());
        DriverAnswer a = c.request(kGetBlocks, in, DP::kListBlocksReplyMax);
        std::vector<DP::BlockId> out;
        EXPECT_TRUE(a.ok);
        EXPECT_EQ(a.error, 0u);
        EXPECT_TRUE(DP::decodeBlockList(a.output.data(), a.output.size(), out));
        return out;
    }
    static DriverAnswer blockCommand(DriverConnection& c, uint32_t code, const DP::BlockId& b, int32_t command)
    {
        return c.request(code, words({int32_t(b.id1), int32_t(b.id2), command, -1}), 4);
    }
    static DriverAnswer acquire(DriverConnection& c, const DP::BlockId& b) { return blockCommand(c, DP::kExclusiveAccess, b, 0); }
    static DriverAnswer release(DriverConnection& c, const DP::BlockId& b) { return blockCommand(c, DP::kExclusiveAccess, b, 1); }
    static DriverAnswer probe(DriverConnection& c, const DP::BlockId& b) { return blockCommand(c, DP::kExclusiveAccess, b, 2); }

    static SimProcess* sim_;
};
SimProcess* DriverTest::sim_ = nullptr;

TEST_F(DriverTest, PortHeldByAnotherUserThroughControl)
{
    DriverConnection c(sim_->pciePath(kPcie2144));
    auto rx = blocks(c, 1, DP::kRoleReceive);
    auto tx = blocks(c, 1, DP::kRoleTransmit);
    ASSERT_EQ(rx.size(), 2u);
    ASSERT_EQ(tx.size(), 2u);
    ASSERT_EQ(sim_->control("hold 2144000101 2 rx"), "ok held 1 blocks");
    EXPECT_EQ(probe(c, rx[0]).error, DW::kErrorHeldByOtherUser);
    EXPECT_EQ(probe(c, rx[1]).error, 0u) << "only the receive block is held";
    // The client holds the shared block; the control cannot take the port as a whole.
    ASSERT_EQ(acquire(c, tx[1]).error, 0u);
    EXPECT_EQ(sim_->control("hold 2144000101 2"), "error: held by a client connection");
    EXPECT_EQ(release(c, tx[1]).error, 0u);
    EXPECT_EQ(sim_->control("release 2144000101 2 rx"), "ok released 1 blocks");
    EXPECT_EQ(probe(c, rx[0]).error, 0u);
    EXPECT_EQ(sim_->control("hold 2144000101 2 demod"), "error: port 2 has no demod block");
    EXPECT_EQ(sim_->control("hold 2144000101 9"), "error: card 2144000101 has 4 ports");
}

TEST_F(DriverTest, MalformedRequestsGetErrorsAndServingGoesOn)
{
    // Malformed request contents are SocketAndSlotGiveTheSameAnswers; here the stream itself.
    // An absurd announced length is refused and the connection dropped without reading it.
    DriverConnection huge(sim_->pciePath(kPcie2144));
    uint8_t h[DW::kRequestHeaderSize];
    DW::encode(DW::RequestHeader{DP::kGetVersion, 0xFFFFFFF0u, 16}, h);
    ASSERT_TRUE(huge.sendRaw(std::vector<uint8_t>(h, h + sizeof h)));
    DriverAnswer refused = huge.readReply();
    ASSERT_TRUE(refused.ok);
    EXPECT_EQ(refused.error, DW::kErrorInvalidParameter);
    EXPECT_TRUE(huge.closedByPeer());
    // A request cut short by its client.
    {
        DriverConnection cut(sim_->pciePath(kPcie2144));
        ASSERT_TRUE(cut.sendRaw({0xE2, 0x6E}));
    }
    DriverConnection after(sim_->pciePath(kPcie2144));
    EXPECT_EQ(after.request(DP::kGetVersion, plainHeader(), 16).error, 0u);
}

TEST_F(DriverTest, LegacyFunctionsOfOneCardShareTheirKeyAndMapPorts)
{
    DriverConnection f0(sim_->legacyPath(kLegacy124First)), f1(sim_->legacyPath(kLegacy124First + 1));
    DriverAnswer i0 = f0.request(DP::kLegacyGetFunctionInfo, {}, 112);
    DriverAnswer i1 = f1.request(DP::kLegacyGetFunctionInfo, {}, 112);
    ASSERT_EQ(i0.error, 0u);
    ASSERT_EQ(i0.output.size(), 112u);
    ASSERT_EQ(i1.output.size(), 112u);
    EXPECT_EQ(getI32(i0.output.data()), 124);
    EXPECT_EQ(Vdapi::Wire::getU64(i0.output.data() + 104), Vdapi::Wire::getU64(i1.output.data() + 104));
    EXPECT_EQ(getI32(i0.output.data() + 8), 0);
    EXPECT_EQ(getI32(i1.output.data() + 8), 1);
    EXPECT_EQ(getI32(i1.output.data() + 36), 2);

    auto prop = [](DriverConnection& c, const std::string& name, int port, int type, int sub) {
        DP::LegacyPropertyRequest r;
        r.query = {name, port, type, sub, 0, 0, -1};
        std::vector<uint8_t> in(88);
        r.encode(in.data());
        return c.request(DP::kLegacyGetProperty, in, 16);
    };
    EXPECT_EQ(getI64(prop(f1, "PORT_COUNT", -1, -1, 0).output.data() + 8), 2);
    // Port 0 of function 1 is card port 3 (input); port 1 of function 1 is card port 4 (output).
    DriverConnection again(sim_->legacyPath(kLegacy124First));
    // The legacy request carries numbers: count, then {1-based port, group code, value,
    // sub-value, par1 (2 words), par2 (2 words)} per record; IODIR is code 0.
    std::vector<uint8_t> io = words({2, 1, 0, -1, -1, -1, -1, -1, -1, 2, 0, -1, -1, -1, -1, -1, -1});
    DriverAnswer cfg = f1.request(DP::kLegacyIoConfig, io, 4096);
    ASSERT_EQ(cfg.error, 0u);
    ASSERT_EQ(cfg.output.size(), 2u * 32);
    EXPECT_EQ(cfg.output, words({1, 0, 21, 21, -1, -1, -1, -1, 2, 0, 25, 25, -1, -1, -1, -1})) << "INPUT, OUTPUT";
    EXPECT_EQ(f1.request(DP::kLegacyIoConfig, words({1, 3, 0, -1, -1, -1, -1, -1, -1}), 4096).error, DP::kErrNoSuchPort);
    EXPECT_EQ(f1.request(DP::kLegacyIoConfig, words({1, 1, 21, -1, -1, -1, -1, -1, -1}), 4096).error, DP::kErrInvalidArg)
        << "a value code is not a group";
    EXPECT_EQ(f1.request(DP::kLegacyIoConfig, words({1, 1, 0, -1, -1, -1, -1, -1}), 4096).error, DW::kErrorInvalidParameter);
    // A query rewritten for a multi-function card names the type and the sub-function.
    EXPECT_EQ(getI64(prop(f0, "CAP_SDI", 1, 124, 1).output.data() + 8), 1);
    EXPECT_EQ(prop(f0, "CAP_SDI", 1, 124, 5).error, DP::kErrNotFound);
    EXPECT_EQ(prop(f0, "CAP_SDI", 2, -1, 0).error, DP::kErrNoSuchPort);

    // Exclusive access through the legacy request; the card-wide port index is arbitrated.
    DriverAnswer acq = f1.request(DP::kLegacyExclusiveAccess, words({1, 1, 1}), 0);
    EXPECT_EQ(acq.error, 0u);
    EXPECT_EQ(again.request(DP::kLegacyExclusiveAccess, words({1, 1, 3}), 0).error, 0u) << "function 0 port 1 is another port";
    DriverConnection f1b(sim_->legacyPath(kLegacy124First + 1));
    EXPECT_EQ(f1b.request(DP::kLegacyExclusiveAccess, words({1, 1, 3}), 0).error, DW::kErrorHeldByOtherUser);
    EXPECT_EQ(f1.request(DP::kLegacyExclusiveAccess, words({1, 1, 2}), 0).error, 0u);
    EXPECT_EQ(f1b.request(DP::kLegacyExclusiveAccess, words({1, 1, 3}), 0).error, 0u);
    EXPECT_EQ(f1.request(DP::kLegacyExclusiveAccess, words({0, 1, 3}), 0).error, DP::kErrInvalidArg);
    EXPECT_EQ(f1.request(DP::kLegacyExclusiveAccess, words({1, 2, 3}), 0).error, DP::kErrNoSuchPort);

}

} // namespace
} // namespace vdsim::test
