// Link-speed queries and function-block exclusive access against the real simulator.
#include "devices/VdDevice.h"
#include "devices/channels/ChannelCaps.h"
#include "devices/ExclusiveAccess.h"
#include "devices/channels/ImplChannel.h"
#include "devices/pcie/PcieDevice.h"
#include "tests/devices/channels/ChannelRig.h"
#include "tests/support/SimQuery.h"

#include <gtest/gtest.h>

namespace {

using namespace Vdapi;
namespace DP = DriverProtocol;

using namespace VdapiTest::ChannelRigCards;

TEST(LinkSpeedAndBlocks, QueriesReachTheDriverOnlyForUsableIpPortsAndCollectionCommandsOnRealBlocks)
{
    START_SIM(sim, Path());
    VdDeviceInt ip, asi, tainted, legacy, bb2, detached;
    ASSERT_EQ(ip.AttachBySerial(kIp), VDAPI_OK);
    ASSERT_EQ(asi.AttachBySerial(kAsi), VDAPI_OK);
    ASSERT_EQ(tainted.AttachBySerial(kTainted), VDAPI_OK_TAINTED_FW);
    ASSERT_EQ(legacy.AttachBySerial(kLegacy), VDAPI_OK);
    ASSERT_EQ(bb2.AttachBySerial(kBb2), VDAPI_OK);

    uint8_t flag = 1;
    int32_t speed = 5;
    EXPECT_EQ(detached.GetLinkSpeed(1, flag, speed), VDAPI_E_NOT_ATTACHED);
    EXPECT_EQ(bb2.GetLinkSpeed(1, flag, speed), VDAPI_E_NOT_SUPPORTED);
    EXPECT_EQ(tainted.GetLinkSpeed(99, flag, speed), VDAPI_E_TAINTED_FW);
    EXPECT_EQ(ip.GetLinkSpeed(3, flag, speed), VDAPI_E_NO_SUCH_PORT);
    EXPECT_EQ(asi.GetLinkSpeed(1, flag, speed), VDAPI_E_INVALID_TSTYPE);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(speed, 5);

    // Every code the driver may answer, set on the simulated link.
    for (auto [code, expected] : {std::pair{0, 1}, {2, 3}, {5, 6}, {6, 0}, {7, 7}, {8, 8}, {9, 0}, {42, 0}, {-3, 0}}) {
        ASSERT_TRUE(sim.command("linkspeed " + std::to_string(kIp) + " 2 " + std::to_string(code)));
        flag = 1;
        speed = 5;
        EXPECT_EQ(ip.GetLinkSpeed(2, flag, speed), VDAPI_OK) << code;
        EXPECT_EQ(flag, 0);
        EXPECT_EQ(speed, expected) << code;
    }
    // The legacy family answers through its own access object.
    flag = 1;
    speed = 5;
    EXPECT_EQ(legacy.GetLinkSpeed(2, flag, speed), VDAPI_OK);
    EXPECT_EQ(speed, 0);

    // A failed query leaves the outputs as they were.
    ASSERT_TRUE(sim.command("fail 0xafc86fbe 1 31"));
    flag = 1;
    speed = 5;
    EXPECT_FALSE(isSuccess(ip.GetLinkSpeed(1, flag, speed)));
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(speed, 5);

    // The exclusive-access commands on the ASI card's receive blocks of its port 1, as one collection.
    std::unique_ptr<IExclusiveAccess> receive;
    ASSERT_EQ(asi.Implementation()->BindExclusiveAccess(0, DP::kRoleReceive, receive), VDAPI_OK);
    auto* blocks = dynamic_cast<FunctionBlockCollection*>(receive.get());
    ASSERT_NE(blocks, nullptr);
    ASSERT_EQ(blocks->Size(), 2u);

    EXPECT_EQ(receive->Exclusive(0), VDAPI_E_INVALID_ARG);
    EXPECT_EQ(receive->Exclusive(5), VDAPI_E_INVALID_ARG);
    EXPECT_EQ(FunctionBlock(nullptr, blocks->Blocks()[0].Id()).Exclusive(kExclProbe), VDAPI_E_DEV_DRIVER);
    EXPECT_EQ(FunctionBlock(blocks->Blocks()[0]).Exclusive(5), VDAPI_E_NOT_SUPPORTED);
    // Blocks that do not take the pass-through command are skipped, not failures.
    EXPECT_EQ(receive->Exclusive(kExclPassThrough), VDAPI_OK);
    EXPECT_EQ(FunctionBlockCollection().Exclusive(kExclAcquire), VDAPI_OK);

    EXPECT_EQ(receive->Exclusive(kExclAcquire), VDAPI_OK);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 2);
    EXPECT_EQ(receive->Exclusive(kExclAcquire), VDAPI_OK); // already ours
    EXPECT_EQ(receive->Exclusive(kExclRelease), VDAPI_OK);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 0);

    // Release goes through every block even when one of them is another user's.
    ASSERT_TRUE(sim.command("hold 2144000001 1 rx"));
    EXPECT_EQ(receive->Exclusive(kExclProbe), VDAPI_E_IN_USE);
    EXPECT_EQ(receive->Exclusive(kExclAcquire), VDAPI_E_IN_USE);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 1);
    ASSERT_TRUE(sim.command("release 2144000001 1 rx"));
    ASSERT_TRUE(sim.command("hold 2144000001 1 dma"));
    EXPECT_EQ(FunctionBlock(blocks->Blocks()[0]).Exclusive(kExclAcquire), VDAPI_OK);
    EXPECT_EQ(receive->Exclusive(kExclRelease), VDAPI_E_COMMUNICATION);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 1); // ours released, the other user's kept

    // A block the driver does not know fails the acquire and gives back the ones before it.
    ASSERT_TRUE(sim.command("release 2144000001 1 dma"));
    auto* card = dynamic_cast<PcieDevice*>(asi.Implementation().get());
    ASSERT_NE(card, nullptr);
    FunctionBlockCollection withUnknown(card->Proxy()->Driver(), {blocks->Blocks()[0].Id(), {0xB10C0002u, 0x13Fu}});
    EXPECT_EQ(withUnknown.Exclusive(kExclAcquire), VDAPI_E_NOT_FOUND);
    EXPECT_EQ(VdapiTest::Holds(sim, kAsi), 0);
}

TEST(ExclusiveAccess, ChannelChoiceFollowsTheRuleOrder)
{
    namespace CC = ChannelCaps;
    auto caps = [](std::initializer_list<int> indices) {
        VdCaps c;
        for (int i : indices)
            c |= VdCaps(i);
        return c;
    };
    for (const auto& [index, name] : {std::pair{CC::kMatrix, "MATRIX"}, {CC::kAvEnc, "AVENC"}, {CC::kVendorSt, "VENDORST"},
                                      {CC::kDemod, "DEMOD"}, {CC::kIfAdc, "IFADC"}, {CC::kMod, "MOD"},
                                      {CC::kPhaseNoise, "PHASENOISE"}, {CC::kSdi, "SDI"}, {CC::kSpi, "SPI"}})
        EXPECT_STREQ(CapabilityName(index), name) << index;

    using K = ImplChannelKind;
    EXPECT_EQ(ChooseInputChannel(caps({CC::kMatrix, CC::kAsi}), kCategoryPci, false), K::FrameBufferInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kAsi, CC::kIp}), kCategoryPci, false), K::AsiSdiInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kAsi}), kCategoryPci, true), K::Bb2AsiSdiInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kVendorSt, CC::kSpi}), kCategoryPci, true), K::Bb2Probe);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kVendorSt, CC::kSpi}), kCategoryPci, false), K::SpiInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kIp, CC::kDemod}), kCategoryNic, true), K::NicInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kIp}), kCategoryPci, true), K::Bb2IpInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kIp}), kCategoryUsb, false), K::IpInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kDemod}), kCategoryPci, true), K::DeviceDemod);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kDemod, CC::kIfAdc}), kCategoryPci, false), K::DemodInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kIfAdc}), kCategoryPci, false), K::DemodInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kAvEnc}), kCategoryPci, false), K::MemorylessTsInput);
    EXPECT_EQ(ChooseInputChannel(caps({CC::kInput, CC::kSdi}), kCategoryPci, false), std::nullopt);
    EXPECT_EQ(ChooseOutputChannel(caps({CC::kOutput, CC::kSdi})), K::AsiSdiOutput);
    EXPECT_EQ(ChooseOutputChannel(caps({CC::kPhaseNoise})), K::ModOutput);
    EXPECT_EQ(ChooseOutputChannel(caps({CC::kOutput})), std::nullopt);
}

} // namespace
