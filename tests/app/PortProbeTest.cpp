// The availability probe against the real simulator on the reference rig: free, held,
// unplugged and link-less ports, and a link query that fails; a type-331 input on the channel rig.
#include "app/PortProbe.h"

#include "tests/devices/channels/ChannelRig.h"
#include "tests/support/SimQuery.h"

#include <gtest/gtest.h>

namespace {

using VdapiTest::FindPort;

constexpr int64_t kAsiCard = 2144000101;     // ports 1, 2 configured input, 3 and 4 output
constexpr int64_t kDemodCard = 2132000606;   // input-only demodulator ports
constexpr int64_t kModCard = 2115000707;     // one output-only modulator port
constexpr int64_t kIpCard = 2160000808;      // IP ports with a link
constexpr int64_t kIpNoLinkCard = 2162000909; // IP ports whose driver reports "no link"
constexpr int64_t kTaintedCard = 2182000505; // firmware status "tainted"
constexpr int64_t kLegacyCard = 145001010;
constexpr int64_t kBb2Card = 2137001212;

using VdapiTest::kExclusiveAccessKind;
using VdapiTest::kLinkSpeedKind;

TEST(PortProbe, FreeHeldLinklessAndMissingPortsOfTheReferenceRig)
{
    START_SIM(sim, VdapiTest::ReferenceRig());
    const auto ports = VdapiTest::ListAllPorts();
    ASSERT_FALSE(ports.empty());

    // Free; another user holding the port makes it unavailable, for as long as it holds it.
    for (auto [serial, port] : {std::pair{kAsiCard, 1}, {kAsiCard, 3}, {kDemodCard, 1}, {kModCard, 1},
                                {kLegacyCard, 1}, {kBb2Card, 2}}) {
        const auto record = FindPort(ports, serial, port);
        const std::string where = std::to_string(serial) + " " + std::to_string(port);
        ASSERT_EQ(record.device.serial, serial) << where;
        EXPECT_TRUE(Halvix::isPortAvailable(record)) << where;
        ASSERT_TRUE(sim.command("hold " + where));
        EXPECT_FALSE(Halvix::isPortAvailable(record)) << where;
        ASSERT_TRUE(sim.command("release " + where));
        EXPECT_TRUE(Halvix::isPortAvailable(record)) << where;
    }
    // The probe claimed nothing that outlives it.
    EXPECT_EQ(VdapiTest::Holds(sim, kAsiCard), 0);

    // The link state decides IP ports; missing or unusable devices are not available.
    const auto noLink = FindPort(ports, kIpNoLinkCard, 1);
    const auto linked = FindPort(ports, kIpCard, 1);
    ASSERT_EQ(noLink.device.serial, kIpNoLinkCard);
    ASSERT_EQ(linked.device.serial, kIpCard);

    // No link: not available, and no channel is tried.
    ASSERT_TRUE(sim.command("counters reset"));
    EXPECT_FALSE(Halvix::isPortAvailable(noLink));
    auto counters = VdapiTest::Counters(sim);
    EXPECT_EQ(counters[kLinkSpeedKind], 1u);
    EXPECT_EQ(counters[kExclusiveAccessKind], 0u);
    // 31 = ERROR_GEN_FAILURE: the query fails, so the link is not known to be down and the
    // channels decide; the fault is used up, so the next probe hears "no link" again.
    ASSERT_TRUE(sim.command(std::string("fail ") + kLinkSpeedKind + " 1 31"));
    EXPECT_TRUE(Halvix::isPortAvailable(noLink));
    EXPECT_FALSE(Halvix::isPortAvailable(noLink));

    EXPECT_TRUE(Halvix::isPortAvailable(linked));
    // The link goes down and comes back (driver code 0 is the slowest speed, not "no link").
    ASSERT_TRUE(sim.command("linkspeed " + std::to_string(kIpCard) + " 1 6"));
    EXPECT_FALSE(Halvix::isPortAvailable(linked));
    ASSERT_TRUE(sim.command("linkspeed " + std::to_string(kIpCard) + " 1 0"));
    EXPECT_TRUE(Halvix::isPortAvailable(linked));

    EXPECT_FALSE(Halvix::isPortAvailable(Vdapi::HwFunctionDescriptor())); // unfilled group slot
    const auto tainted = FindPort(ports, kTaintedCard, 5);
    ASSERT_EQ(tainted.device.serial, kTaintedCard);
    EXPECT_FALSE(Halvix::isPortAvailable(tainted)); // attach succeeds only with a warning code

    auto record = FindPort(ports, kAsiCard, 1);
    ASSERT_TRUE(sim.command("unplug " + std::to_string(kAsiCard)));
    EXPECT_FALSE(Halvix::isPortAvailable(record));
    ASSERT_TRUE(sim.command("plug " + std::to_string(kAsiCard)));
    EXPECT_TRUE(Halvix::isPortAvailable(record));
    record.device.serial = 999999999; // never existed
    EXPECT_FALSE(Halvix::isPortAvailable(record));
}

TEST(PortProbe, Type331InputIsProbedByARealExclusiveAttach)
{
    START_SIM(sim, VdapiTest::ChannelRigCards::Path());
    constexpr int64_t kUsbReceiver = VdapiTest::ChannelRigCards::kUsbReceiver;
    const auto record = FindPort(VdapiTest::ListAllPorts(), kUsbReceiver, 1);
    ASSERT_EQ(record.device.serial, kUsbReceiver);

    ASSERT_TRUE(sim.command("counters reset"));
    EXPECT_TRUE(Halvix::isPortAvailable(record));
    // A real attach acquires and releases; a probe-only attach would have asked once.
    EXPECT_EQ(VdapiTest::Counters(sim)[VdapiTest::kPortExclusiveKind], 2u);
    EXPECT_EQ(VdapiTest::Holds(sim, kUsbReceiver), 0);

    ASSERT_TRUE(sim.command("hold 331000001 1"));
    EXPECT_FALSE(Halvix::isPortAvailable(record));
    ASSERT_TRUE(sim.command("release 331000001 1"));
    EXPECT_TRUE(Halvix::isPortAvailable(record));
}

} // namespace
