// The legacy PCI and Bb2 families and the property store against the real simulator:
// multi-function cards, legacy driver versions, Bb2 listing, driver lookups and faults.
#include "tests/support/FieldRows.h"
#include "tests/support/SimQuery.h"

#include "devices/CapabilityTable.h"
#include "devices/Device.h"
#include "devices/IoConfigTable.h"
#include "devices/Scan.h"
#include "devices/VdDevice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Vdapi;
using test::SimProcess;

namespace {

Device* AsDevice(const VdDevice& d)
{
    return dynamic_cast<Device*>(d.Implementation().get());
}

} // namespace

TEST(Families, LegacyCardsAndTheBb2Device)
{
    START_SIM(sim, "legacy_and_bb2.json");
    VdResult rc = 0;
    const std::vector<DeviceDescriptor> devices = VdapiTest::ListAllDevices(rc);
    ASSERT_EQ(rc, VDAPI_OK);
    ASSERT_EQ(devices.size(), 3u); // two-function card counted once
    // Legacy first, then Bb2.
    test::ExpectFields("listing", {{"first", devices[0].serial, 145000001},
                                   {"second", devices[1].serial, 124000002},
                                   {"functions", devices[1].numHwFuncs, 4},
                                   {"inputs", devices[1].numInputs, 2}, {"outputs", devices[1].numOutputs, 2},
                                   {"third", devices[2].serial, 2137000003},
                                   {"Bb2 inputs", devices[2].numInputs, 4}});

    // The multi-function card's ports across both functions.
    VdDeviceInt multi;
    ASSERT_EQ(multi.AttachBySerial(124000002), VDAPI_OK);
    const int32_t chanTypes[] = {kChanInput, kChanOutput, kChanOutput, kChanInput};
    for (int p = 1; p <= 4; ++p)
        EXPECT_EQ(multi.CachedPort(p)->chanType, chanTypes[p - 1]) << p;
    EXPECT_TRUE(multi.CachedPort(3)->caps.Has(CapabilityIndex("HDSDI")));
    EXPECT_FALSE(multi.CachedPort(4)->caps.Has(CapabilityIndex("HDSDI")));
    EXPECT_TRUE(multi.CachedPort(4)->caps.Has(CapabilityIndex("SDI")));
    Device* card = AsDevice(multi);
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->RefClockHz(), 27000000); // asked through the hardware-access object

    // PORT_COUNT comes from the port map, without a driver request.
    ASSERT_TRUE(sim.command("counters reset"));
    int32_t ports = 0, mainPorts = 0;
    EXPECT_EQ(card->GetPropertyInt32("PORT_COUNT", -1, ports), VDAPI_OK);
    EXPECT_EQ(card->GetPropertyInt32("MAIN_PORT_COUNT", -1, mainPorts, 124), VDAPI_OK);
    test::ExpectFields("counts", {{"ports", ports, 4}, {"main ports", mainPorts, 4}});
    EXPECT_TRUE(sim.command("fail 0xb02c712a 1000 1")); // any lookup that reached the driver would fail
    EXPECT_EQ(card->GetPropertyInt32("PORT_COUNT", -1, ports), VDAPI_OK);
    EXPECT_TRUE(sim.command("fail 0xb02c712a 0 1"));
    // A port beyond the map has no capabilities and no other properties.
    bool flag = true;
    EXPECT_EQ(card->GetPropertyBool("CAP_ASI", 9, flag), VDAPI_OK);
    EXPECT_FALSE(flag);
    int64_t value = 0;
    EXPECT_EQ(card->GetPropertyInt64("SUB_PORT_MAP", 9, value), VDAPI_E_NOT_FOUND);
    // A sub-function outside the card.
    EXPECT_EQ(card->GetPropertyInt64("REF_CLK_FREQ", -1, value, 124, 5), VDAPI_E_INTERNAL);

    // Bb2: attached into its own slot; never found by slot.
    VdDeviceInt bb2;
    EXPECT_EQ(bb2.AttachBySlot(14, 0), VDAPI_E_NO_SUCH_DEVICE);
    ASSERT_EQ(bb2.AttachBySerial(2137000003), VDAPI_OK);
    EXPECT_EQ(bb2.Implementation(), nullptr);
    EXPECT_EQ(bb2.TypeNumber(), 2137);
    int32_t count = 0;
    HwFunctionDescriptor records[4];
    EXPECT_EQ(bb2.ListPorts(4, count, records), VDAPI_OK);
    EXPECT_EQ(records[3].chanType, kChanInput);
    EXPECT_EQ(records[3].indexOnDevice, 3);

    // By type, the index runs across families.
    VdDeviceInt byType;
    EXPECT_EQ(byType.AttachByType(2137, 0), VDAPI_OK);
    EXPECT_EQ(byType.Detach(), VDAPI_OK);
    EXPECT_EQ(byType.AttachByType(124, 0), VDAPI_OK);
    EXPECT_EQ(byType.Detach(), VDAPI_OK);
    EXPECT_EQ(byType.AttachBySlot(12, 1), VDAPI_OK);
    EXPECT_EQ(byType.TypeNumber(), 145);
}

TEST(PropertyStore, LookupsThroughTheDriverTheOlderInformationRequestAndFailingCards)
{
    START_SIM(sim, "one_asi_card.json");
    // The newer information request is unknown to this driver: the older one serves, without
    // the seventh driver word.
    ASSERT_TRUE(sim.command("fail 0xafc87046 1000 1"));
    VdDeviceInt device;
    ASSERT_EQ(device.AttachBySerial(2144000001), VDAPI_OK);
    DeviceDescriptor d;
    ASSERT_EQ(device.GetDescriptor(d), VDAPI_OK);
    EXPECT_EQ(d.driverInfo[5], 6);
    EXPECT_EQ(d.driverInfo[6], 0);

    // What the card's own table answers reaches the listing (present capabilities and the port
    // count: Scan.TwoCallProtocolOnOneCard); an absent one is not found.
    Device* card = AsDevice(device);
    ASSERT_NE(card, nullptr);
    bool ip = true;
    EXPECT_EQ(card->GetPropertyBool("CAP_IP", 0, ip), VDAPI_E_NOT_FOUND);
    EXPECT_FALSE(ip);
    // Another type's table through the type selector.
    int32_t ports = 0;
    EXPECT_EQ(card->GetPropertyInt32("PORT_COUNT", -1, ports, 2179), VDAPI_OK);
    EXPECT_EQ(ports, 12);
    // Driver failures come back translated; a broken reply length is a communication error.
    ASSERT_TRUE(sim.command("fail 0xafc86f1a 1 1450"));
    EXPECT_EQ(card->GetPropertyInt32("PORT_COUNT", -1, ports), VDAPI_E_OUT_OF_RESOURCES);
    ASSERT_TRUE(sim.command("corrupt 0xafc86f1a 1"));
    EXPECT_EQ(card->GetPropertyInt32("PORT_COUNT", -1, ports), VDAPI_E_COMMUNICATION);
    EXPECT_EQ(device.Detach(), VDAPI_OK);
    ASSERT_TRUE(sim.command("fail 0xafc87046 0 1"));

    // PORT_COUNT failing ends the initialisation: the listing skips the card, the attach fails.
    ASSERT_TRUE(sim.command("fail 0xafc86f1a 1 87"));
    int32_t count = -1;
    EXPECT_EQ(ScanHwFunctions(0, count, nullptr, false, false, 0), VDAPI_OK);
    EXPECT_EQ(count, 0);
    // Corrupted information replies to both requests make the interface unreadable: skipped.
    ASSERT_TRUE(sim.command("corrupt 0xafc87046 1"));
    ASSERT_TRUE(sim.command("corrupt 0xafc86ee6 1"));
    EXPECT_EQ(device.AttachBySerial(2144000001), VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_EQ(device.AttachBySerial(2144000001), VDAPI_OK);
}
