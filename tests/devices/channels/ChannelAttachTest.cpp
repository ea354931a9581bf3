// Input and output channel attach and detach against the real simulator: refusals in their
// order, probe-only attaches, real claims on PCIe, legacy and Bb2 cards, and detach rules.
#include "devices/VdDevice.h"
#include "devices/channels/VdInpChannel.h"
#include "devices/channels/VdOutpChannel.h"
#include "tests/devices/channels/ChannelRig.h"
#include "tests/support/SimQuery.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace Vdapi;

using namespace VdapiTest::ChannelRigCards;

/// Exposes the use lock, to hold it the way a pending operation would.
class LockableInput : public VdInpChannel {
public:
    std::mutex& UseLock() { return m_use; }
};

TEST(ChannelAttach, RefusalsComeInTheirOrderAndProbeOnlyAttachesClaimNothing)
{
    START_SIM(sim, Path());
    VdDeviceInt asi, tainted, obsolete, demod, mod, ip, bb2, monitor, detached;
    ASSERT_EQ(asi.AttachBySerial(kAsi), VDAPI_OK);
    ASSERT_EQ(monitor.AttachBySerial(kMonitor), VDAPI_OK);
    ASSERT_EQ(tainted.AttachBySerial(kTainted), VDAPI_OK_TAINTED_FW);
    ASSERT_EQ(obsolete.AttachBySerial(kObsolete), VDAPI_OK_OBSOLETE_FW);
    ASSERT_EQ(demod.AttachBySerial(kDemod), VDAPI_OK);
    ASSERT_EQ(mod.AttachBySerial(kMod), VDAPI_OK);
    ASSERT_EQ(ip.AttachBySerial(kIp), VDAPI_OK);
    ASSERT_EQ(bb2.AttachBySerial(kBb2), VDAPI_OK);

    VdInpChannel in;
    VdOutpChannel out;
    // No device, then a device object that is not attached.
    EXPECT_EQ(in.Attach(nullptr, 1, true, true), VDAPI_E_DEVICE);
    EXPECT_EQ(out.Attach(&detached, 1, true), VDAPI_E_DEVICE);
    // Firmware status comes before the port number.
    EXPECT_EQ(in.Attach(&tainted, 99, true, true), VDAPI_E_TAINTED_FW);
    EXPECT_EQ(out.Attach(&obsolete, 99, true), VDAPI_E_OBSOLETE_FW);
    // Port number before anything about the port.
    EXPECT_EQ(in.Attach(&ip, 0, false, true), VDAPI_E_NO_SUCH_PORT);
    EXPECT_EQ(in.Attach(&asi, 5, true, true), VDAPI_E_NO_SUCH_PORT);
    EXPECT_EQ(out.Attach(&bb2, 5, true), VDAPI_E_NO_SUCH_PORT);
    // A Bb2 card has no output channels.
    EXPECT_EQ(out.Attach(&bb2, 1, true), VDAPI_E_NOT_SUPPORTED);
    // An IP port needs exclusive access; direction capabilities decide the rest.
    EXPECT_EQ(in.Attach(&ip, 1, false, false), VDAPI_E_EXCL_MANDATORY);
    EXPECT_EQ(in.Attach(&mod, 1, true, true), VDAPI_E_NO_VD_INPUT);
    EXPECT_EQ(out.Attach(&demod, 1, true), VDAPI_E_NO_VD_OUTPUT);
    EXPECT_FALSE(in.IsAttached());
    EXPECT_FALSE(out.IsAttached());

    // An attached channel refuses any further attach before looking at the arguments.
    ASSERT_EQ(in.Attach(&asi, 1, true, false), VDAPI_OK);
    EXPECT_EQ(in.Attach(nullptr, 99, true, true), VDAPI_E_ATTACHED);
    EXPECT_EQ(in.Detach(kDetachInstant), VDAPI_OK);

    // Probe-only attaches ask the driver and claim nothing. An IP port answers at once, without
    // any driver request.
    ASSERT_TRUE(sim.command("counters reset"));
    EXPECT_EQ(in.Attach(&ip, 1, true, true), VDAPI_OK);
    EXPECT_EQ(out.Attach(&ip, 2, true), VDAPI_OK);
    auto counters = VdapiTest::Counters(sim);
    EXPECT_EQ(counters[VdapiTest::kExclusiveAccessKind], 0u);
    EXPECT_EQ(counters[VdapiTest::kIoConfigKind], 0u);

    // A bidirectional port configured as output: no input, but the output probe asks the driver.
    EXPECT_EQ(in.Attach(&asi, 3, true, true), VDAPI_E_NO_VD_INPUT);
    EXPECT_EQ(VdapiTest::Counters(sim)[VdapiTest::kExclusiveAccessKind], 0u);
    EXPECT_EQ(out.Attach(&asi, 3, true), VDAPI_OK);
    EXPECT_GT(VdapiTest::Counters(sim)[VdapiTest::kExclusiveAccessKind], 0u);
    EXPECT_EQ(out.Attach(&asi, 1, true), VDAPI_E_NO_VD_OUTPUT);
    EXPECT_EQ(in.Attach(&asi, 1, true, true), VDAPI_OK);
    // A monitor input uses no blocks this layer knows how to claim.
    EXPECT_EQ(in.Attach(&monitor, 4, true, true), VDAPI_E_NOT_IMPLEMENTED);

    // A probe-only attach leaves the channel detached.
    EXPECT_FALSE(in.IsAttached());
    EXPECT_EQ(in.Detach(kDetachInstant), VDAPI_E_NOT_ATTACHED);
    EXPECT_EQ(out.Detach(0), VDAPI_E_NOT_ATTACHED);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 0);

    // Held by another user: both probes say so.
    ASSERT_TRUE(sim.command("hold 2144000001 1"));
    ASSERT_TRUE(sim.command("hold 2144000001 3"));
    EXPECT_EQ(in.Attach(&asi, 1, true, true), VDAPI_E_IN_USE);
    EXPECT_EQ(out.Attach(&asi, 3, true), VDAPI_E_IN_USE);
}

TEST(ChannelAttach, RealAttachClaimsThePortUntilDetachAndDetachKeepsItsRules)
{
    START_SIM(sim, Path());
    VdDeviceInt first, second;
    ASSERT_EQ(first.AttachBySerial(kAsi), VDAPI_OK);
    ASSERT_EQ(second.AttachBySerial(kAsi), VDAPI_OK); // a second handle: another user to the driver

    VdInpChannel in, rival;
    ASSERT_EQ(in.Attach(&first, 2, true, false), VDAPI_OK);
    EXPECT_TRUE(in.IsAttached());
    EXPECT_EQ(in.Port().port, 2);
    EXPECT_EQ(in.Port().device.serial, kAsi);
    EXPECT_EQ(in.ImplKind(), ImplChannelKind::AsiSdiInput);
    EXPECT_GT(VdapiTest::Holds(sim, kAsi), 0);
    EXPECT_EQ(rival.Attach(&second, 2, true, false), VDAPI_E_IN_USE);
    EXPECT_EQ(rival.Attach(&second, 2, true, true), VDAPI_E_IN_USE);
    EXPECT_FALSE(rival.IsAttached());

    EXPECT_EQ(in.Detach(0), VDAPI_OK);
    EXPECT_FALSE(in.IsAttached());
    EXPECT_EQ(in.Port().device.serial, 0);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 0);
    EXPECT_EQ(in.Detach(0), VDAPI_E_NOT_ATTACHED);
    EXPECT_EQ(rival.Attach(&second, 2, true, false), VDAPI_OK);

    // A non-exclusive attach claims nothing; destroying an attached channel releases its claim.
    {
        VdInpChannel shared;
        EXPECT_EQ(shared.Attach(&first, 1, false, false), VDAPI_OK);
        VdOutpChannel transmit;
        EXPECT_EQ(transmit.Attach(&first, 4, false), VDAPI_OK);
        EXPECT_EQ(transmit.ImplKind(), ImplChannelKind::AsiSdiOutput);
        EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 4); // rival's two blocks and transmit's two
    }
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 2);

    // The channel keeps the device's driver handle open after the device object detaches.
    EXPECT_EQ(second.Detach(), VDAPI_OK);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 2);
    EXPECT_EQ(rival.Detach(kDetachInstant), VDAPI_OK);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 0);

    // Detach flags: instant and finish together are refused and leave the channel attached.
    VdOutpChannel out;
    ASSERT_EQ(out.Attach(&first, 3, false), VDAPI_OK);
    EXPECT_EQ(out.Detach(kDetachInstant | kDetachFinish), VDAPI_E_INVALID_FLAGS);
    EXPECT_TRUE(out.IsAttached());
    EXPECT_EQ(out.Detach(kDetachFinish), VDAPI_OK);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 0);

    // A channel busy in another thread for longer than detach waits: detach gives up.
    LockableInput busyInput;
    ASSERT_EQ(busyInput.Attach(&first, 1, true, false), VDAPI_OK);
    std::unique_lock<std::mutex> busy(busyInput.UseLock());
    VdResult whileBusy = VDAPI_OK;
    std::thread([&] { whileBusy = busyInput.Detach(kDetachInstant); }).join();
    EXPECT_EQ(whileBusy, VDAPI_E_TIMEOUT);
    busy.unlock();
    EXPECT_TRUE(busyInput.IsAttached());
    EXPECT_EQ(busyInput.Detach(kDetachInstant), VDAPI_OK);
}

TEST(ChannelAttach, LegacyAndBb2CardsClaimTheirPorts)
{
    START_SIM(sim, Path());
    VdDeviceInt legacy, legacyRival;
    ASSERT_EQ(legacy.AttachBySerial(kLegacy), VDAPI_OK);
    ASSERT_EQ(legacyRival.AttachBySerial(kLegacy), VDAPI_OK);
    VdInpChannel in, rival;
    EXPECT_EQ(in.Attach(&legacy, 1, true, true), VDAPI_OK);
    ASSERT_EQ(in.Attach(&legacy, 1, true, false), VDAPI_OK);
    EXPECT_EQ(VdapiTest::Holds(sim, kLegacy), 1);
    EXPECT_EQ(rival.Attach(&legacyRival, 1, true, true), VDAPI_E_IN_USE);
    EXPECT_EQ(in.Detach(kDetachInstant), VDAPI_OK);
    EXPECT_EQ(rival.Attach(&legacyRival, 1, true, true), VDAPI_OK);

    // A Bb2 channel claims through a handle of its own, so detaching the device first leaves
    // the claim with the channel until the channel lets go.
    auto bb2 = std::make_unique<VdDeviceInt>();
    ASSERT_EQ(bb2->AttachBySerial(kBb2), VDAPI_OK);
    VdInpChannel bb2In;
    ASSERT_EQ(bb2In.Attach(bb2.get(), 3, true, false), VDAPI_OK);
    EXPECT_EQ(bb2In.ImplKind(), ImplChannelKind::Bb2AsiSdiInput);
    const int held = VdapiTest::Holds(sim, kBb2);
    EXPECT_GT(held, 0);
    VdInpChannel probe;
    EXPECT_EQ(probe.Attach(bb2.get(), 3, true, true), VDAPI_E_IN_USE);
    bb2.reset();
    EXPECT_EQ(VdapiTest::Holds(sim, kBb2), held);
    EXPECT_EQ(bb2In.Detach(kDetachInstant), VDAPI_OK);
    EXPECT_EQ(VdapiTest::Holds(sim, kBb2), 0);
}

} // namespace
