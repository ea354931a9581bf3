// The device layer's driver handles (IXpDriver) against the simulator, on each transport: the
// socket and the shared-memory request slot. Scenarios that both transports must carry run once
// per transport (injected faults, claims and their arbitration, a vanished card, request
// batches); the slot's own cases (same answers as the socket, slot-sized requests, a refused
// slot, a client dying mid-request, lengths a client writes into its slot), malformed batches
// and request streams, and the legacy driver's multi-function cards stay on their own.
#include "tests/support/SimHarness.h"

#include "devices/VdapiResult.h"
#include "base/WireBytes.h"
#include "devices/pcie/DriverProtocol.h"
#include "devices/usb/UsbDriverProtocol.h"
#include "devices/platform/posix/UnixSocket.h"
#include "devices/platform/Xp.h"
#include "devices/platform/posix/XpDriverPosix.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>

namespace vdsim::test {
namespace {

namespace DP = Vdapi::DriverProtocol;
namespace DW = Vdapi::DriverWire;
using Vdapi::DriverClass;
using Vdapi::DriverRequestItem;
using Vdapi::FastChannelPolicy;
using Vdapi::XpDriverPosix;

/// Handles that never ask for a slot, and handles that ask for one at once.
const FastChannelPolicy kSocketOnly{-1}, kSlotAtOnce{0};

/// Everything a request gives back, for comparing the two paths.
struct Exchange {
    Vdapi::VdResult rc = 0;
    uint32_t windowsError = 0;
    std::vector<uint8_t> output;
    bool operator==(const Exchange&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Exchange& e)
{
    return os << "rc " << e.rc << " error " << e.windowsError << " output " << e.output.size() << " bytes";
}

Exchange ask(Vdapi::IXpDriver& d, uint32_t code, const std::vector<uint8_t>& input, uint32_t capacity = 4096)
{
    Exchange e;
    e.output.assign(capacity, 0xCC);
    uint32_t got = 0;
    e.rc = d.Request(code, input.data(), uint32_t(input.size()), e.output.data(), capacity, &got, &e.windowsError);
    e.output.resize(got);
    return e;
}

/// The plain header, then the port and the role.
std::vector<uint8_t> blocksRequest(int port, int role) { return words({0, -1, -1, -1, port, role}); }

DP::BlockId firstBlock(Vdapi::IXpDriver& d, int port, int role)
{
    Exchange e = ask(d, DP::kListFunctionBlocks, blocksRequest(port, role));
    std::vector<DP::BlockId> blocks;
    DP::decodeBlockList(e.output.data(), e.output.size(), blocks);
    return blocks.empty() ? DP::BlockId{} : blocks.front();
}

std::vector<uint8_t> blockCommand(const DP::BlockId& b, int32_t command)
{
    std::vector<uint8_t> in(DP::FunctionBlockHeader::kSize);
    DP::FunctionBlockHeader{b.id1, b.id2, command}.encode(in.data());
    return in;
}

/// A PCIe property query (104 bytes) for the core block.
std::vector<uint8_t> property(const DP::BlockId& core, const std::string& name, int port, int type = -1)
{
    DP::PciePropertyRequest r;
    r.blockId1 = core.id1;
    r.blockId2 = core.id2;
    r.query.name = name;
    r.query.port = port;
    r.query.typeSelector = type;
    std::vector<uint8_t> out(DP::PciePropertyRequest::kSize);
    r.encode(out.data());
    return out;
}

/// The PCIe driver's I/O-configuration request for the core block: {port, group} per item.
std::vector<uint8_t> pcieIoRequest(uint32_t id1, uint32_t id2, const std::vector<std::pair<int, std::string>>& items)
{
    std::vector<uint8_t> out = words({int32_t(id1), int32_t(id2), 0, -1, int32_t(items.size())});
    for (const auto& [port, group] : items) {
        std::vector<uint8_t> rec(56, 0);
        Vdapi::Wire::putI32(rec.data(), port);
        std::copy(group.begin(), group.end(), rec.begin() + 4);
        out.insert(out.end(), rec.begin(), rec.end());
    }
    return out;
}

/// One request with its own buffers (or none for the output), and what came back for it.
struct Asked {
    uint32_t code;
    std::vector<uint8_t> input;
    uint32_t capacity;
    bool withoutOutput = false;
    Exchange answer = {};
};

/// A mix of answers: values, absent names, errors, a reply that does not fit, an unknown code.
std::vector<Asked> mixedRequests(const DP::BlockId& core)
{
    return {
        {DP::kGetVersion, plainHeader(), 16},
        {DP::kGetProperty, property(core, "PORT_COUNT", -1), 16},
        {DP::kGetProperty, property(core, "CAP_ASI", 0), 16},
        {DP::kGetProperty, property(core, "NO_SUCH_NAME", 0), 16},
        {DP::kGetDeviceInfo, plainHeader(), 104},
        {DP::kGetDeviceInfo, plainHeader(), 8},
        {0x12345678, {1, 2, 3}, 16},
        {DP::kGetVersion, {}, 16},
    };
}

void askInOneBatch(Vdapi::IXpDriver& d, std::vector<Asked>& asked)
{
    std::vector<DriverRequestItem> items(asked.size());
    for (size_t i = 0; i < asked.size(); ++i) {
        asked[i].answer.output.assign(asked[i].capacity, 0xCC);
        items[i] = {asked[i].code, asked[i].input.data(), uint32_t(asked[i].input.size()),
                    asked[i].withoutOutput ? nullptr : asked[i].answer.output.data(), asked[i].capacity};
    }
    d.RequestBatch(items);
    for (size_t i = 0; i < asked.size(); ++i)
        asked[i].answer = {items[i].result, items[i].windowsError,
                           {asked[i].answer.output.begin(), asked[i].answer.output.begin() + items[i].returnedSize}};
}

class DriverHandle : public ReferenceSim {
protected:
    std::unique_ptr<XpDriverPosix> open(int index, FastChannelPolicy policy)
    {
        auto d = std::make_unique<XpDriverPosix>(DriverClass::Pcie, policy);
        EXPECT_EQ(d->Open(index, false, true), Vdapi::VDAPI_OK);
        return d;
    }
};

/// The scenarios every transport must carry, once on the socket and once on the slot.
enum class Transport { Socket, Slot };

class EachTransport : public DriverHandle, public ::testing::WithParamInterface<Transport> {
protected:
    std::unique_ptr<XpDriverPosix> openHere(int index)
    {
        const bool slot = GetParam() == Transport::Slot;
        auto d = open(index, slot ? kSlotAtOnce : kSocketOnly);
        EXPECT_EQ(d->HasFastChannel(), slot);
        return d;
    }
};

INSTANTIATE_TEST_SUITE_P(, EachTransport, ::testing::Values(Transport::Socket, Transport::Slot),
                         [](const auto& info) { return info.param == Transport::Slot ? "Slot" : "Socket"; });

TEST_F(DriverHandle, InterfacesListedPerClassAndLegacyNamesOpen)
{
    uint64_t mask = 0;
    auto pcie = Vdapi::Xp::NewDriver(DriverClass::Pcie);
    ASSERT_EQ(pcie->ListInterfaces(mask), Vdapi::VDAPI_OK);
    EXPECT_EQ(mask, 0x1FFu) << "nine PCIe cards at indices 0..8";
    auto legacy = Vdapi::Xp::NewDriver(DriverClass::LegacyPci);
    ASSERT_EQ(legacy->ListInterfaces(mask), Vdapi::VDAPI_OK);
    EXPECT_EQ(mask, 0x7u) << "one single-function and one two-function card";
    EXPECT_EQ(legacy->OpenLegacy(9, true), Vdapi::VDAPI_E_NOT_FOUND);
    ASSERT_EQ(legacy->OpenLegacy(2, true), Vdapi::VDAPI_OK);
    const Exchange version = ask(*legacy, DP::kLegacyGetVersionByName, {}, 16);
    ASSERT_EQ(version.rc, Vdapi::VDAPI_OK);
    ASSERT_EQ(version.output.size(), 16u);
    EXPECT_EQ(Vdapi::Wire::getI32(version.output.data() + 4), 20);
}

TEST_F(DriverHandle, SocketAndSlotGiveTheSameAnswers)
{
    auto viaSocket = open(kPcie2160, kSocketOnly);
    auto viaSlot = open(kPcie2160, kSlotAtOnce);
    EXPECT_FALSE(viaSocket->HasFastChannel());
    ASSERT_TRUE(viaSlot->HasFastChannel());

    const DP::BlockId core = firstBlock(*viaSocket, -1, DP::kRoleCore);
    const DP::BlockId nw = firstBlock(*viaSocket, 1, DP::kRoleNetwork);
    ASSERT_NE(core.id1, 0u);
    ASSERT_NE(nw.id1, 0u);
    std::vector<uint8_t> unterminated = property(core, "CAP_IP", 0);
    std::fill(unterminated.begin() + DP::PciePropertyRequest::kName, unterminated.begin() + 90, 'A');
    std::vector<uint8_t> ioCountBeyondTheBytes = pcieIoRequest(core.id1, core.id2, {{0, "IOSTD"}});
    Vdapi::Wire::putU32(ioCountBeyondTheBytes.data() + 16, 1000000);
    // Each case with the driver's error, and the connection serves the next one after it.
    struct Case {
        const char* what;
        uint32_t code;
        std::vector<uint8_t> input;
        uint32_t capacity;
        uint32_t error;
    };
    const Case cases[] = {
        {"version", DP::kGetVersion, plainHeader(), 16, 0},
        {"information", DP::kGetDeviceInfo, plainHeader(), 104, 0},
        {"older information", DP::kGetDeviceInfoOld, plainHeader(), 104, 0},
        {"capability present", DP::kGetProperty, property(core, "CAP_IP", 0), 16, 0},
        {"capability absent", DP::kGetProperty, property(core, "CAP_ASI", 0), 16, DP::kErrNotFound},
        {"port count", DP::kGetProperty, property(core, "PORT_COUNT", -1), 16, 0},
        {"port outside", DP::kGetProperty, property(core, "CAP_IP", 9), 16, DP::kErrNoSuchPort},
        {"name without end", DP::kGetProperty, unterminated, 16, DP::kErrInvalidArg},
        {"short query", DP::kGetProperty, std::vector<uint8_t>(40, 0), 16, DW::kErrorInvalidParameter},
        {"another type's property, from the catalog", DP::kGetProperty, property(core, "PORT_COUNT", -1, 2179), 16, 0},
        {"a type the catalog lacks", DP::kGetProperty, property(core, "PORT_COUNT", -1, 9999), 16, DP::kErrNotFound},
        {"property of a block that is not the core", DP::kGetProperty, property({core.id1 + 1, 0}, "PORT_COUNT", -1), 16,
         DP::kErrNotFound},
        {"I/O configuration", DP::kIoConfig, pcieIoRequest(core.id1, core.id2, {{0, "IOSTD"}, {1, "IOSTD"}}), 4096, 0},
        {"unknown I/O group", DP::kIoConfig, pcieIoRequest(core.id1, core.id2, {{0, "SPISTD"}}), 4096, DP::kErrNotFound},
        {"I/O port outside", DP::kIoConfig, pcieIoRequest(core.id1, core.id2, {{9, "IOSTD"}}), 4096, DP::kErrNoSuchPort},
        {"I/O count beyond the bytes", DP::kIoConfig, ioCountBeyondTheBytes, 4096, DW::kErrorInvalidParameter},
        {"core block", DP::kListFunctionBlocks, blocksRequest(-1, DP::kRoleCore), DP::kListBlocksReplyMax, 0},
        {"network block", DP::kListFunctionBlocks, blocksRequest(1, DP::kRoleNetwork), DP::kListBlocksReplyMax, 0},
        {"link speed", DP::kGetLinkSpeed, blockCommand(nw, DP::kCmdLinkSpeed), 4, 0},
        {"link speed, another command", DP::kGetLinkSpeed, blockCommand(nw, DP::kCmdMacAddress), 4, DP::kErrInvalidArg},
        {"link speed of a block without a link", DP::kGetLinkSpeed, blockCommand(core, DP::kCmdLinkSpeed), 4,
         DP::kErrNotSupported},
        {"MAC address", DP::kGetMacAddress, blockCommand(nw, DP::kCmdMacAddress), 8, 0},
        {"MAC address, another command", DP::kGetMacAddress, blockCommand(nw, DP::kCmdLinkSpeed), 8, DP::kErrInvalidArg},
        {"MAC address of a block without one", DP::kGetMacAddress, blockCommand(core, DP::kCmdMacAddress), 8,
         DP::kErrNotSupported},
        {"no room for the MAC address", DP::kGetMacAddress, blockCommand(nw, DP::kCmdMacAddress), 4,
         DW::kErrorInsufficientBuffer},
        {"no room for the answer", DP::kGetVersion, plainHeader(), 8, DW::kErrorInsufficientBuffer},
        {"unknown request", 0x12345678, {1, 2, 3}, 16, DW::kErrorInvalidFunction},
        {"legacy request", DP::kLegacyGetVersion, {}, 16, DW::kErrorInvalidFunction},
        {"USB request", Vdapi::UsbDriverProtocol::kGetDeviceInfo, {}, 40, DW::kErrorInvalidFunction},
        {"no input at all", DP::kGetVersion, {}, 16, DW::kErrorInvalidParameter},
        {"header cut short", DP::kGetVersion, std::vector<uint8_t>(8, 0), 16, DW::kErrorInvalidParameter},
    };
    for (const Case& c : cases) {
        const Exchange socketAnswer = ask(*viaSocket, c.code, c.input, c.capacity);
        EXPECT_EQ(socketAnswer.windowsError, c.error) << c.what;
        EXPECT_EQ(socketAnswer, ask(*viaSlot, c.code, c.input, c.capacity)) << c.what;
    }
}

TEST_P(EachTransport, FailuresClaimsAndAVanishedCardReachTheCaller)
{
    auto a = openHere(kPcie2144);
    auto b = openHere(kPcie2144);
    // b's connection is taken (and counted) before the counters start again.
    ASSERT_EQ(ask(*b, DP::kGetVersion, plainHeader(), 16).rc, Vdapi::VDAPI_OK);
    ASSERT_EQ(sim_.control("counters reset"), "ok counters reset");
    // Injected faults (codes in any base): failure answers as often as asked, a reply cut to half, a slow reply.
    ASSERT_EQ(sim_.control("fail 0xAFC86EE2 2 995"), "ok 0xafc86ee2 fails 2 times");
    for (int i = 0; i < 2; ++i) {
        const Exchange failed = ask(*a, DP::kGetVersion, plainHeader(), 16);
        EXPECT_EQ(failed.rc, Vdapi::VDAPI_E_CANCELLED);
        EXPECT_EQ(failed.windowsError, DW::kErrorOperationAborted);
    }
    EXPECT_EQ(ask(*a, DP::kGetVersion, plainHeader(), 16).output.size(), 16u);
    ASSERT_EQ(sim_.control("corrupt 2949148742 1"), "ok 0xafc87046 corrupted 1 times");
    EXPECT_EQ(ask(*a, DP::kGetDeviceInfo, plainHeader(), 104).output.size(), 52u);
    EXPECT_EQ(ask(*a, DP::kGetDeviceInfo, plainHeader(), 104).output.size(), 104u);
    ASSERT_EQ(sim_.control("delay 200 0xafc86ee2"), "ok delay 200 ms for 0xafc86ee2");
    EXPECT_EQ(ask(*a, DP::kGetVersion, plainHeader(), 16).rc, Vdapi::VDAPI_OK);
    ASSERT_EQ(sim_.control("delay 0 0xafc86ee2"), "ok delay 0 ms for 0xafc86ee2");
    EXPECT_EQ(sim_.control("counters"), "ok 0xafc86ee2=4 0xafc87046=2") << "failed and corrupted answers count too";

    // Claims are arbitrated between handles per block: the holder may claim again, the other
    // handle can neither claim, probe nor release it, other blocks stay free.
    auto claim = [](Vdapi::IXpDriver& d, const DP::BlockId& block, int32_t command) {
        return ask(d, DP::kExclusiveAccess, blockCommand(block, command), 0).windowsError;
    };
    std::vector<DP::BlockId> rx;
    const Exchange listed = ask(*a, DP::kListFunctionBlocks, blocksRequest(1, DP::kRoleReceive));
    ASSERT_TRUE(DP::decodeBlockList(listed.output.data(), listed.output.size(), rx));
    ASSERT_EQ(rx.size(), 2u);
    const DP::BlockId otherPort = firstBlock(*b, 0, DP::kRoleReceive);
    ASSERT_NE(otherPort.id1, 0u);
    EXPECT_EQ(claim(*a, rx[0], DP::kCmdAcquire), 0u);
    EXPECT_EQ(claim(*a, rx[0], DP::kCmdAcquire), 0u) << "re-acquiring one's own block succeeds";
    for (int32_t command : {DP::kCmdAcquire, DP::kCmdProbe, DP::kCmdRelease})
        EXPECT_EQ(claim(*b, rx[0], command), DW::kErrorHeldByOtherUser) << "command " << command;
    EXPECT_EQ(claim(*a, rx[0], DP::kCmdProbe), 0u);
    EXPECT_EQ(claim(*b, rx[1], DP::kCmdProbe), 0u) << "the port's other block is free";
    EXPECT_EQ(claim(*b, otherPort, DP::kCmdAcquire), 0u) << "another port's block is free";
    EXPECT_EQ(claim(*b, otherPort, DP::kCmdRelease), 0u);
    // Released, the other handle gets it.
    EXPECT_EQ(claim(*a, rx[0], DP::kCmdRelease), 0u);
    EXPECT_EQ(claim(*b, rx[0], DP::kCmdAcquire), 0u);
    EXPECT_EQ(claim(*a, rx[0], DP::kCmdProbe), DW::kErrorHeldByOtherUser);
    EXPECT_EQ(claim(*b, rx[0], DP::kCmdRelease), 0u);
    // The control holds a block for another user, but cannot take a port a client holds part of.
    ASSERT_EQ(sim_.control("hold 2144000101 2 rx"), "ok held 1 blocks");
    EXPECT_EQ(claim(*a, rx[0], DP::kCmdProbe), DW::kErrorHeldByOtherUser);
    EXPECT_EQ(claim(*a, rx[1], DP::kCmdAcquire), 0u) << "only the receive block is held";
    EXPECT_EQ(sim_.control("hold 2144000101 2"), "error: held by a client connection");
    EXPECT_EQ(claim(*a, rx[1], DP::kCmdRelease), 0u);
    EXPECT_EQ(sim_.control("release 2144000101 2 rx"), "ok released 1 blocks");
    EXPECT_EQ(sim_.control("hold 2144000101 2 demod"), "error: port 2 has no demod block");
    // The pass-through command is not offered; unknown commands and blocks are refused.
    EXPECT_EQ(claim(*a, rx[0], DP::kCmdPassThrough), DP::kErrNotSupported);
    EXPECT_EQ(claim(*a, rx[0], 7), DP::kErrInvalidArg);
    EXPECT_EQ(claim(*a, {rx[0].id1, rx[0].id2 + 40}, DP::kCmdAcquire), DP::kErrNotFound);
    EXPECT_EQ(claim(*a, firstBlock(*a, -1, DP::kRoleCore), DP::kCmdAcquire), DP::kErrNotSupported);
    // A handle's claims end when it closes.
    EXPECT_EQ(claim(*a, rx[0], DP::kCmdAcquire), 0u);
    a->Close();
    ASSERT_TRUE(sim_.waitForControl("holds 2144000101", "ok 0"));
    EXPECT_EQ(ask(*b, DP::kExclusiveAccess, blockCommand(rx[0], DP::kCmdAcquire), 0).rc, Vdapi::VDAPI_OK);

    // An unplugged card ends the handle as a driver that went away, and is gone for a new open.
    ASSERT_EQ(sim_.control("unplug 2144000101"), "ok unplugged");
    EXPECT_EQ(ask(*b, DP::kGetVersion, plainHeader(), 16).rc, Vdapi::VDAPI_E_COMMUNICATION);
    EXPECT_FALSE(b->IsOpen());
    EXPECT_EQ(b->Open(kPcie2144, false, true), Vdapi::VDAPI_E_NOT_FOUND);
}

TEST_F(DriverHandle, ClientDyingInTheMiddleOfARequestReleasesItsClaims)
{
    ASSERT_EQ(sim_.control("delay 1000 0xafc86ee2"), "ok delay 1000 ms for 0xafc86ee2");
    ASSERT_EQ(sim_.control("counters reset"), "ok counters reset");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        XpDriverPosix d(DriverClass::Pcie, kSlotAtOnce);
        if (d.Open(kPcie2144, false, true) != Vdapi::VDAPI_OK || !d.HasFastChannel())
            ::_exit(3);
        if (ask(d, DP::kExclusiveAccess, blockCommand(firstBlock(d, 0, DP::kRoleReceive), DP::kCmdAcquire), 0).rc !=
            Vdapi::VDAPI_OK)
            ::_exit(4);
        ask(d, DP::kGetVersion, plainHeader(), 16); // delayed: killed while waiting
        ::_exit(5);
    }
    // Kill it once its delayed request has reached the simulator.
    const bool inFlight = sim_.waitForControl("counters", "ok 0xafc86ee2=1 0xafc86f06=1 0xafc86f32=1 open=1");
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(inFlight) << sim_.control("counters");
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(sim_.waitForControl("holds 2144000101", "ok 0"));
    ASSERT_EQ(sim_.control("delay 0 0xafc86ee2"), "ok delay 0 ms for 0xafc86ee2");
    auto d = open(kPcie2144, kSlotAtOnce);
    EXPECT_EQ(ask(*d, DP::kGetVersion, plainHeader(), 16).rc, Vdapi::VDAPI_OK);
}

TEST_F(DriverHandle, LegacyFunctionsOfOneCardShareTheirKeyAndMapPorts)
{
    // The reference rig's 124 card is legacy interfaces 1 and 2, its functions 0 and 1.
    DriverConnection f0(sim_.legacyPath(1)), f1(sim_.legacyPath(2));
    DriverAnswer i0 = f0.request(DP::kLegacyGetFunctionInfo, {}, 112);
    DriverAnswer i1 = f1.request(DP::kLegacyGetFunctionInfo, {}, 112);
    ASSERT_EQ(i0.error, 0u);
    ASSERT_EQ(i0.output.size(), 112u);
    ASSERT_EQ(i1.output.size(), 112u);
    EXPECT_EQ(Vdapi::Wire::getI32(i0.output.data()), 124);
    EXPECT_EQ(Vdapi::Wire::getU64(i0.output.data() + 104), Vdapi::Wire::getU64(i1.output.data() + 104));
    EXPECT_EQ(Vdapi::Wire::getI32(i0.output.data() + 8), 0);
    EXPECT_EQ(Vdapi::Wire::getI32(i1.output.data() + 8), 1);
    EXPECT_EQ(Vdapi::Wire::getI32(i1.output.data() + 36), 2);

    auto prop = [](DriverConnection& c, const std::string& name, int port, int type, int sub) {
        DP::LegacyPropertyRequest r;
        r.query = {name, port, type, sub, 0, 0, -1};
        std::vector<uint8_t> in(88);
        r.encode(in.data());
        return c.request(DP::kLegacyGetProperty, in, 16);
    };
    EXPECT_EQ(Vdapi::Wire::getI64(prop(f1, "PORT_COUNT", -1, -1, 0).output.data() + 8), 2);
    // Port 0 of function 1 is card port 3 (input); port 1 of function 1 is card port 4 (output).
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
    EXPECT_EQ(Vdapi::Wire::getI64(prop(f0, "CAP_SDI", 1, 124, 1).output.data() + 8), 1);
    EXPECT_EQ(prop(f0, "CAP_SDI", 1, 124, 5).error, DP::kErrNotFound);
    EXPECT_EQ(prop(f0, "CAP_SDI", 2, -1, 0).error, DP::kErrNoSuchPort);

    // Exclusive access through the legacy request; the card-wide port index is arbitrated.
    DriverAnswer acq = f1.request(DP::kLegacyExclusiveAccess, words({1, 1, 1}), 0);
    EXPECT_EQ(acq.error, 0u);
    EXPECT_EQ(f0.request(DP::kLegacyExclusiveAccess, words({1, 1, 3}), 0).error, 0u) << "function 0 port 1 is another port";
    DriverConnection f1b(sim_.legacyPath(2));
    EXPECT_EQ(f1b.request(DP::kLegacyExclusiveAccess, words({1, 1, 3}), 0).error, DW::kErrorHeldByOtherUser);
    EXPECT_EQ(f1.request(DP::kLegacyExclusiveAccess, words({1, 1, 2}), 0).error, 0u);
    EXPECT_EQ(f1b.request(DP::kLegacyExclusiveAccess, words({1, 1, 3}), 0).error, 0u);
    EXPECT_EQ(f1.request(DP::kLegacyExclusiveAccess, words({0, 1, 3}), 0).error, DP::kErrInvalidArg);
    EXPECT_EQ(f1.request(DP::kLegacyExclusiveAccess, words({1, 2, 3}), 0).error, DP::kErrNoSuchPort);
}

/// A client that negotiates a slot by hand and then writes whatever it likes into it.
class RawSlotClient {
public:
    RawSlotClient(const std::string& path, uint32_t capacity) : socket_(path)
    {
        // The slot's version and the capacity asked for.
        const std::vector<uint8_t> offer = words({int32_t(DW::kSlotVersion), int32_t(capacity)});
        if (!socket_.send(DW::kNegotiateFastChannel, offer, DW::kNegotiateSize)) return;
        uint8_t reply[DW::kReplyHeaderSize + DW::kNegotiateSize];
        Vdapi::UniqueFd file;
        if (Vdapi::ReceiveWithDescriptor(socket_.fd(), reply, sizeof reply, file) != ssize_t(sizeof reply) || !file)
            return;
        ready_ = slot_.Attach(file.get(), DW::getU32(reply + DW::kReplyHeaderSize + 4));
    }
    bool ready() const { return ready_; }
    Vdapi::DriverSlot& slot() { return slot_; }

    /// Posts a request with the given header words (payload already in place) and waits for
    /// the reply, 10 s at most. Returns the reply's error, or ~0u on timeout.
    uint32_t post(uint32_t code, uint32_t inputLength, uint32_t outputCapacity)
    {
        slot_.Store(DW::kSlotCodeAt, code);
        slot_.Store(DW::kSlotInputLengthAt, inputLength);
        slot_.Store(DW::kSlotOutputCapacityAt, outputCapacity);
        ++seq_;
        slot_.Publish(DW::kSlotRequestSeqAt, DW::kSlotDriverSleepingAt, seq_);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const Vdapi::SlotWait w = slot_.WaitForChange(DW::kSlotReplySeqAt, DW::kSlotClientSleepingAt, seq_ - 1, 50, 10,
                                                      [&] { return std::chrono::steady_clock::now() < end; });
        return w == Vdapi::SlotWait::Changed ? slot_.Load(DW::kSlotErrorAt) : ~0u;
    }

private:
    DriverConnection socket_;
    Vdapi::DriverSlot slot_;
    uint32_t seq_ = 0;
    bool ready_ = false;
};

TEST_F(DriverHandle, SlotRefusesWhatDoesNotFitAndARefusedSlotKeepsTheSocket)
{
    // A request larger than the handle's slot never reaches the driver; the handle goes on.
    auto d = open(kPcie2144, FastChannelPolicy{0, 64});
    ASSERT_TRUE(d->HasFastChannel());
    const DP::BlockId core = firstBlock(*d, -1, DP::kRoleCore);
    ASSERT_EQ(sim_.control("counters reset"), "ok counters reset");
    EXPECT_EQ(ask(*d, DP::kGetProperty, property(core, "PORT_COUNT", -1), 16).rc, Vdapi::VDAPI_E_BUF_TOO_LARGE);
    EXPECT_EQ(sim_.control("counters"), "ok") << "nothing reached the driver";
    const Exchange v = ask(*d, DP::kGetVersion, plainHeader(), 16);
    EXPECT_EQ(v.rc, Vdapi::VDAPI_OK);
    EXPECT_EQ(v.output.size(), 16u);
    // Room beyond the slot is not offered to the driver: a 104-byte record cannot come back.
    EXPECT_EQ(ask(*d, DP::kGetDeviceInfo, plainHeader(), 4096).windowsError, DW::kErrorInsufficientBuffer);

    // The driver checks the lengths a client writes into its slot by hand.
    RawSlotClient raw(sim_.pciePath(kPcie2144), 256);
    ASSERT_TRUE(raw.ready());
    ASSERT_EQ(raw.slot().Capacity(), 256u);
    DP::encodePlainHeader(raw.slot().Payload());
    EXPECT_EQ(raw.post(DP::kGetVersion, 257, 16), DW::kErrorInvalidParameter) << "input beyond the slot";
    EXPECT_EQ(raw.post(DP::kGetVersion, 16, 0xFFFFFFF0u), DW::kErrorInvalidParameter) << "room beyond the slot";
    EXPECT_EQ(raw.post(DP::kGetVersion, 0xFFFFFFFFu, 0xFFFFFFFFu), DW::kErrorInvalidParameter);
    // The slot still serves a well-formed request afterwards.
    DP::encodePlainHeader(raw.slot().Payload());
    ASSERT_EQ(raw.post(DP::kGetVersion, DP::kHeaderSize, 16), 0u);
    EXPECT_EQ(raw.slot().Load(DW::kSlotOutputLengthAt), 16u);
    EXPECT_EQ(Vdapi::Wire::getI32(raw.slot().Payload() + 4), 3) << "PCIe driver 1.3.1";

    // A refused slot leaves the handle on its socket, and the opens are counted.
    ASSERT_EQ(sim_.control("fastpath off"), "ok shared-memory slots refused from now on");
    ASSERT_EQ(sim_.control("counters reset"), "ok counters reset");
    auto refused = open(kPcie2144, kSlotAtOnce);
    EXPECT_TRUE(refused->IsOpen());
    EXPECT_FALSE(refused->HasFastChannel());
    EXPECT_EQ(ask(*refused, DP::kGetVersion, plainHeader(), 16).output.size(), 16u);
    ASSERT_EQ(sim_.control("fastpath on"), "ok shared-memory slots granted from now on");
    // A policy may ask after a few socket requests.
    auto e = open(kPcie2144, FastChannelPolicy{2});
    ask(*e, DP::kGetVersion, plainHeader(), 16);
    ask(*e, DP::kGetVersion, plainHeader(), 16);
    EXPECT_FALSE(e->HasFastChannel());
    EXPECT_EQ(ask(*e, DP::kGetVersion, plainHeader(), 16).output.size(), 16u);
    EXPECT_TRUE(e->HasFastChannel());
    EXPECT_EQ(sim_.control("counters"), "ok 0xafc86ee2=4 open=2");
}

TEST_P(EachTransport, BatchAnswersEachRequestAsAloneWithItsOwnFaultsWithOrWithoutDriverBatches)
{
    auto d = openHere(kPcie2144);
    const DP::BlockId core = firstBlock(*d, -1, DP::kRoleCore);
    std::vector<Asked> alone = mixedRequests(core);
    for (Asked& a : alone)
        a.answer = ask(*d, a.code, a.input, a.capacity);
    auto batchedAsAlone = [&](const std::string& round) {
        std::vector<Asked> together = mixedRequests(core);
        askInOneBatch(*d, together);
        for (size_t i = 0; i < alone.size(); ++i)
            EXPECT_EQ(alone[i].answer, together[i].answer) << "request " << i << ", " << round;
        return together;
    };
    ASSERT_EQ(sim_.control("counters reset"), "ok counters reset");
    const std::vector<Asked> together = batchedAsAlone("one batch");
    // Real answers, not equal failures: the port count, the absent capability, the name the
    // store does not know, the refusal for too little room.
    EXPECT_EQ(together[1].answer.rc, Vdapi::VDAPI_OK);
    EXPECT_EQ(Vdapi::Wire::getU64(together[1].answer.output.data() + DP::kPropertyReplyValue), 4u);
    EXPECT_EQ(together[2].answer.rc, Vdapi::VDAPI_OK);
    EXPECT_EQ(together[3].answer.rc, Vdapi::VDAPI_E_NOT_FOUND) << "the driver's error, as the layer's code";
    EXPECT_EQ(together[5].answer.windowsError, DW::kErrorInsufficientBuffer);
    // One hand-over, every request counted on its own.
    EXPECT_EQ(sim_.control("counters"), "ok 0x12345678=1 0xafc86ee2=2 0xafc86f1a=3 0xafc87046=2 batch=1");

    // An injected fault stays with its own request of the batch (the first three travel
    // together); an item without its output buffer is refused alone, and the one after it is
    // still answered.
    ASSERT_EQ(sim_.control("fail 0xafc86f1a 1 995"), "ok 0xafc86f1a fails 1 times");
    std::vector<Asked> asked = {
        {DP::kGetProperty, property(core, "PORT_COUNT", -1), 16},
        {DP::kGetProperty, property(core, "PORT_COUNT", -1), 16},
        {DP::kGetVersion, plainHeader(), 16},
        {DP::kGetVersion, plainHeader(), 16, true},
        {DP::kGetProperty, property(core, "PORT_COUNT", -1), 16},
    };
    askInOneBatch(*d, asked);
    EXPECT_EQ(asked[0].answer.rc, Vdapi::VDAPI_E_CANCELLED);
    EXPECT_EQ(asked[1].answer.rc, Vdapi::VDAPI_OK);
    EXPECT_EQ(asked[2].answer.output.size(), 16u);
    EXPECT_EQ(asked[3].answer.rc, Vdapi::VDAPI_E_INVALID_BUF);
    ASSERT_EQ(asked[4].answer.rc, Vdapi::VDAPI_OK);
    EXPECT_EQ(Vdapi::Wire::getU64(asked[4].answer.output.data() + DP::kPropertyReplyValue), 4u);

    // A driver that refuses batches gets the same requests one by one, twice over; the handle
    // remembers the refusal and never offers it a batch again.
    ASSERT_EQ(sim_.control("batches off"), "ok request batches refused as unknown from now on");
    ASSERT_EQ(sim_.control("counters reset"), "ok counters reset");
    batchedAsAlone("refused batch");
    batchedAsAlone("after the refusal");
    EXPECT_EQ(sim_.control("counters"), "ok 0x12345678=2 0xafc86ee2=4 0xafc86f1a=6 0xafc87046=4 batch-refused=1");
}

TEST_F(DriverHandle, MalformedBatchesAndStreamsAreRefusedAndServingGoesOn)
{
    // Reset before connecting: the simulator counts the open when it takes the connection, which
    // may come after a reset made later.
    ASSERT_EQ(sim_.control("counters reset"), "ok counters reset");
    DriverConnection raw(sim_.pciePath(kPcie2144));
    ASSERT_TRUE(raw.connected());
    auto batch = [](uint32_t count, const std::vector<std::vector<uint8_t>>& requests) {
        std::vector<uint8_t> in(4);
        Vdapi::Wire::putU32(in.data(), count);
        for (const auto& r : requests)
            in.insert(in.end(), r.begin(), r.end());
        return in;
    };
    // A request header as the wire writes it (any length announced), then the bytes given.
    auto request = [](uint32_t code, uint32_t inputLength, uint32_t capacity, const std::vector<uint8_t>& input) {
        uint8_t h[DW::kRequestHeaderSize];
        DW::encode(DW::RequestHeader{code, inputLength, capacity}, h);
        std::vector<uint8_t> r(h, h + sizeof h);
        r.insert(r.end(), input.begin(), input.end());
        return r;
    };
    const std::vector<uint8_t> version = request(DP::kGetVersion, 16, 16, plainHeader());
    struct Case {
        const char* what;
        std::vector<uint8_t> input;
        uint32_t capacity;
    };
    const Case cases[] = {
        {"no count", {1, 0}, 4096},
        {"count 0", batch(0, {}), 4096},
        {"count beyond the limit", batch(DW::kMaxBatchRequests + 1, {version}), 4096},
        {"fewer requests than counted", batch(2, {version}), 4096},
        {"input beyond the batch", batch(1, {request(DP::kGetVersion, 4000, 16, plainHeader())}), 4096},
        {"bytes after the last request", batch(1, {version, {9, 9}}), 4096},
        {"a batch inside a batch", batch(1, {request(DW::kRequestBatch, 0, 16, {})}), 4096},
        {"too little room for the answers", batch(2, {version, version}), 40},
    };
    for (const Case& c : cases) {
        const DriverAnswer a = raw.request(DW::kRequestBatch, c.input, c.capacity);
        ASSERT_TRUE(a.ok) << c.what;
        EXPECT_EQ(a.error, DW::kErrorInvalidParameter) << c.what;
        EXPECT_TRUE(a.output.empty()) << c.what;
    }
    EXPECT_EQ(sim_.control("counters"), "ok open=1") << "no request of a refused batch was answered";
    const DriverAnswer good = raw.request(DW::kRequestBatch, batch(2, {version, version}), 4096);
    ASSERT_TRUE(good.ok);
    EXPECT_EQ(good.error, 0u);
    EXPECT_EQ(good.output.size(), 4u + 2 * (8 + 16));

    // The stream itself: an absurd announced length is refused and the connection dropped
    // without reading it; a request cut short by its client ends only its own connection.
    DriverConnection huge(sim_.pciePath(kPcie2144));
    ASSERT_TRUE(huge.sendRaw(request(DP::kGetVersion, 0xFFFFFFF0u, 16, {})));
    const DriverAnswer refused = huge.readReply();
    ASSERT_TRUE(refused.ok);
    EXPECT_EQ(refused.error, DW::kErrorInvalidParameter);
    EXPECT_TRUE(huge.closedByPeer());
    ASSERT_TRUE(DriverConnection(sim_.pciePath(kPcie2144)).sendRaw({0xE2, 0x6E}));
    EXPECT_EQ(DriverConnection(sim_.pciePath(kPcie2144)).request(DP::kGetVersion, plainHeader(), 16).output.size(), 16u);
    // Two requests in one write are answered in turn.
    std::vector<uint8_t> two = version;
    two.insert(two.end(), version.begin(), version.end());
    DriverConnection pipelined(sim_.pciePath(kPcie2144));
    ASSERT_TRUE(pipelined.sendRaw(two));
    EXPECT_EQ(pipelined.readReply().output.size(), 16u);
    EXPECT_EQ(pipelined.readReply().output.size(), 16u);
}

} // namespace
} // namespace vdsim::test
