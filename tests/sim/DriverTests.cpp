// The simulated kernel drivers, driven over their sockets by hand: record layouts byte for
// byte, property look-ups, I/O configuration, exclusive access and malformed requests.
#include "tests/support/SimHarness.h"

#include "base/WireBytes.h"
#include "devices/pcie/DriverProtocol.h"
#include "devices/platform/posix/DriverWire.h"
#include "devices/usb/UsbDriverProtocol.h"

#include <gtest/gtest.h>

namespace vdsim::test {
namespace {

namespace DP = Vdapi::DriverProtocol;
namespace UP = Vdapi::UsbDriverProtocol;
namespace DW = Vdapi::DriverWire;
using Vdapi::Wire::getI32;
using Vdapi::Wire::getI64;
using Vdapi::Wire::getU32;


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

TEST_F(DriverTest, PcieVersionAndInformationOfTheRigsCard)
{
    // Every field's offset is GoldenRecords; here the reference rig's card answers on its socket.
    DriverConnection c(sim_->pciePath(kPcie2182));
    ASSERT_TRUE(c.connected());
    DriverAnswer v = c.request(DP::kGetVersion, plainHeader(), 16);
    ASSERT_TRUE(v.ok);
    ASSERT_EQ(v.error, 0u);
    EXPECT_EQ(v.output, words({1, 3, 1, 0}));
    DriverAnswer info = c.request(DP::kGetDeviceInfo, plainHeader(), 104);
    ASSERT_EQ(info.error, 0u);
    ASSERT_EQ(info.output.size(), 104u);
    EXPECT_EQ(getI32(info.output.data()), 2182);
    EXPECT_EQ(getI64(info.output.data() + 16), 2182000505);
    EXPECT_EQ(getI32(info.output.data() + 60), 7); // bus
}

TEST_F(DriverTest, PciePropertiesFromTheRigAndTheCatalog)
{
    DriverConnection c(sim_->pciePath(kPcie2144));
    auto core = blocks(c, -1, DP::kRoleCore);
    ASSERT_EQ(core.size(), 1u);
    auto value = [&](const std::string& name, int port, int type = -1) {
        return c.request(DP::kGetProperty, pcieProperty(core[0].id1, core[0].id2, name, port, type), 16);
    };
    DriverAnswer ports = value("PORT_COUNT", -1);
    ASSERT_TRUE(ports.ok);
    ASSERT_EQ(ports.error, 0u);
    ASSERT_EQ(ports.output.size(), 16u);
    EXPECT_EQ(getI64(ports.output.data() + 8), 4);
    EXPECT_EQ(getI64(value("CAP_ASI", 0).output.data() + 8), 1);
    EXPECT_EQ(getI64(value("REF_CLK_FREQ", -1).output.data() + 8), 54000000);
    // A capability the type lacks is the driver's not-found error.
    DriverAnswer missing = value("CAP_MOD", 0);
    EXPECT_EQ(missing.error, DP::kErrNotFound);
    EXPECT_TRUE(missing.output.empty());
    // Another type's property comes from the catalog.
    EXPECT_EQ(getI64(value("PORT_COUNT", -1, 2179).output.data() + 8), 12);
    EXPECT_EQ(value("PORT_COUNT", -1, 9999).error, DP::kErrNotFound);
    EXPECT_EQ(value("CAP_ASI", 4).error, DP::kErrNoSuchPort);
    // A 49-character name is accepted (and unknown here).
    EXPECT_EQ(value(std::string(49, 'N'), -1).error, DP::kErrNotFound);
    // The property request must name the core block.
    EXPECT_EQ(c.request(DP::kGetProperty, pcieProperty(core[0].id1 + 1, 0, "PORT_COUNT", -1), 16).error, DP::kErrNotFound);
}

TEST_F(DriverTest, PcieIoConfigurationRecords)
{
    DriverConnection c(sim_->pciePath(kPcie2144));
    auto core = blocks(c, -1, DP::kRoleCore);
    ASSERT_EQ(core.size(), 1u);
    DriverAnswer a = c.request(DP::kIoConfig, pcieIoRequest(core[0].id1, core[0].id2, {{0, "IODIR"}, {3, "IODIR"}, {1, "IOSTD"}}), 4096);
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.error, 0u);
    ASSERT_EQ(a.output.size(), 8u + 3 * 136);
    const uint8_t* r = a.output.data() + 8;
    EXPECT_EQ(Vdapi::Wire::getName(r, 50), "INPUT");
    EXPECT_EQ(Vdapi::Wire::getName(r + 50, 50), "INPUT");
    EXPECT_EQ(getI64(r + 104), -1);
    r += 136;
    EXPECT_EQ(Vdapi::Wire::getName(r, 50), "OUTPUT"); // port 4 of the reference card: double-buffered output
    EXPECT_EQ(Vdapi::Wire::getName(r + 50, 50), "DBLBUF");
    r += 136;
    EXPECT_EQ(Vdapi::Wire::getName(r, 50), "ASI");
    // Unknown group, bad port and a count that does not match the bytes.
    EXPECT_EQ(c.request(DP::kIoConfig, pcieIoRequest(core[0].id1, core[0].id2, {{0, "SPISTD"}}), 4096).error, DP::kErrNotFound);
    EXPECT_EQ(c.request(DP::kIoConfig, pcieIoRequest(core[0].id1, core[0].id2, {{9, "IODIR"}}), 4096).error, DP::kErrNoSuchPort);
    auto bad = pcieIoRequest(core[0].id1, core[0].id2, {{0, "IODIR"}});
    Vdapi::Wire::putU32(bad.data() + 16, 1000000);
    EXPECT_EQ(c.request(DP::kIoConfig, bad, 4096).error, DW::kErrorInvalidParameter);
}

TEST_F(DriverTest, LinkSpeedCodesAndControlChanges)
{
    DriverConnection up(sim_->pciePath(kPcie2160));
    auto nw = blocks(up, 0, DP::kRoleNetwork);
    ASSERT_EQ(nw.size(), 1u);
    DriverAnswer a = blockCommand(up, DP::kGetLinkSpeed, nw[0], 11);
    ASSERT_EQ(a.error, 0u);
    ASSERT_EQ(a.output.size(), 4u);
    EXPECT_EQ(getI32(a.output.data()), 2);

    DriverConnection down(sim_->pciePath(kPcie2162));
    auto nw2 = blocks(down, 1, DP::kRoleNetwork);
    ASSERT_EQ(nw2.size(), 1u);
    EXPECT_EQ(getI32(blockCommand(down, DP::kGetLinkSpeed, nw2[0], 11).output.data()), 6);
    EXPECT_EQ(sim_->control("linkspeed 2162000909 2 4"), "ok link speed code 4");
    EXPECT_EQ(getI32(blockCommand(down, DP::kGetLinkSpeed, nw2[0], 11).output.data()), 4);
    EXPECT_EQ(sim_->control("linkspeed 2162000909 2 6"), "ok link speed code 6");
    // Only command 11, and only on a network block.
    EXPECT_EQ(blockCommand(down, DP::kGetLinkSpeed, nw2[0], 2).error, DP::kErrInvalidArg);
    DriverConnection asi(sim_->pciePath(kPcie2144));
    EXPECT_TRUE(blocks(asi, 0, DP::kRoleNetwork).empty());
    auto rx = blocks(asi, 0, DP::kRoleReceive);
    ASSERT_FALSE(rx.empty());
    EXPECT_EQ(blockCommand(asi, DP::kGetLinkSpeed, rx[0], 11).error, DP::kErrNotSupported);
}

TEST_F(DriverTest, MacAddressOfNetworkBlocks)
{
    auto mac = [](DriverConnection& c, const DP::BlockId& b, int32_t command) {
        return c.request(DP::kGetMacAddress, words({int32_t(b.id1), int32_t(b.id2), command, -1}), DP::kMacReplySize);
    };
    DriverConnection c(sim_->pciePath(kPcie2160));
    auto nw1 = blocks(c, 0, DP::kRoleNetwork);
    ASSERT_EQ(nw1.size(), 1u);
    // Port 1 has the derived address (port 2's own one is DriverHandle.SocketAndSlotGiveTheSameAnswers).
    DriverAnswer a = mac(c, nw1[0], DP::kCmdMacAddress);
    ASSERT_EQ(a.error, 0u);
    ASSERT_EQ(a.output.size(), DP::kMacReplySize);
    const std::vector<uint8_t> derived = {0x02, 0x56, 0x44, uint8_t(2160000808 >> 8), uint8_t(2160000808), 1, 0, 0};
    EXPECT_EQ(a.output, derived);
    // Wrong command, a block that is not a network block, no room for the answer.
    EXPECT_EQ(mac(c, nw1[0], DP::kCmdLinkSpeed).error, DP::kErrInvalidArg);
    DriverConnection asi(sim_->pciePath(kPcie2144));
    auto rx = blocks(asi, 0, DP::kRoleReceive);
    ASSERT_FALSE(rx.empty());
    EXPECT_EQ(mac(asi, rx[0], DP::kCmdMacAddress).error, DP::kErrNotSupported);
    DriverAnswer tight = c.request(DP::kGetMacAddress, words({int32_t(nw1[0].id1), int32_t(nw1[0].id2), 12, -1}), 4);
    EXPECT_EQ(tight.error, DW::kErrorInsufficientBuffer);
}

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

    // Versions by interface and by legacy name.
    DriverConnection byName(sim_->legacyNamePath(0));
    DriverAnswer v = byName.request(DP::kLegacyGetVersionByName, {}, 16);
    ASSERT_EQ(v.output.size(), 16u);
    EXPECT_EQ(getI32(v.output.data() + 4), 20);
    EXPECT_EQ(getI32(f0.request(DP::kLegacyGetVersion, {}, 16).output.data()), 4);
}

TEST_F(DriverTest, UsbRecordsSubTypeAndProperties)
{
    DriverConnection c(sim_->usbPath(0));
    DriverAnswer info = c.request(UP::kGetDeviceInfo, {}, 40);
    ASSERT_EQ(info.error, 0u);
    ASSERT_EQ(info.output.size(), 40u);
    EXPECT_EQ(getU32(info.output.data() + 12), 215u); // type number; the layout is GoldenRecords
    EXPECT_EQ(Vdapi::Wire::getU64(info.output.data() + 32), 215001313u);
    DriverAnswer sub = c.request(UP::kGetSubType, {}, 4);
    ASSERT_EQ(sub.output.size(), 4u);
    EXPECT_EQ(getI32(sub.output.data()), 1);
    DriverAnswer ver = c.request(UP::kGetVersion, {}, 16);
    ASSERT_EQ(ver.output.size(), 16u);
    EXPECT_EQ(getI32(ver.output.data() + 4), 8);

    auto prop = [&](const std::string& name, int port) {
        UP::UsbPropertyRequest q;
        q.name = name;
        q.port = port;
        std::vector<uint8_t> in(80);
        q.encode(in.data());
        return c.request(UP::kGetProperty, in, 16);
    };
    EXPECT_EQ(getI64(prop("TEMP_SENS_COUNT", -1).output.data() + 8), 1);
    EXPECT_EQ(getI64(prop("CAP_DBLBUF", 0).output.data() + 8), 1);
    EXPECT_EQ(prop("FAN_TYPE", -1).error, DP::kErrNotFound);
    EXPECT_EQ(c.request(DP::kLegacyExclusiveAccess, words({1, 0, 3}), 0).error, 0u);
    std::vector<uint8_t> io = words({1, 0});
    io.resize(4 + 56, 0);
    Vdapi::Wire::putName(io.data() + 8, 50, "IOSTD");
    DriverAnswer cfg = c.request(UP::kIoConfig, io, 136);
    ASSERT_EQ(cfg.output.size(), 136u);
    EXPECT_EQ(Vdapi::Wire::getName(cfg.output.data(), 50), "ASI");
}

TEST_F(DriverTest, Bb2AnswersThePcieRequestSet)
{
    DriverConnection c(sim_->bb2Path(0));
    DriverAnswer v = c.request(DP::kGetVersion, plainHeader(), 16);
    ASSERT_EQ(v.output.size(), 16u);
    EXPECT_EQ(getI32(v.output.data() + 4), 2);
    DriverAnswer info = c.request(DP::kGetDeviceInfo, plainHeader(), 104);
    ASSERT_EQ(info.output.size(), 104u);
    EXPECT_EQ(getI32(info.output.data()), 2137);
}

} // namespace
} // namespace vdsim::test
