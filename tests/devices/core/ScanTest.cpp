// Scans and the device object against the real simulator: two-call protocol, ordering,
// direction and rank of ports, driver versions, firmware status and targeted attaches.
#include "tests/support/FieldRows.h"
#include "tests/support/SimQuery.h"

#include "devices/CapabilityTable.h"
#include "devices/IoConfigTable.h"
#include "devices/Scan.h"
#include "devices/VdDevice.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Vdapi;
using test::SimProcess;

namespace {

std::vector<HwFunctionDescriptor> ScanPorts(int32_t capacity, VdResult& rc, int32_t& count, int32_t order = 0)
{
    std::vector<HwFunctionDescriptor> ports(size_t(std::max(capacity, 0)));
    rc = ScanHwFunctions(capacity, count, capacity > 0 ? ports.data() : nullptr, false, false, order);
    return ports;
}

} // namespace

TEST(Scan, NoDeviceAndBadBuffer)
{
    int32_t count = 99;
    EXPECT_EQ(ScanHwFunctions(5, count, nullptr, false, false, 0), VDAPI_E_INVALID_BUF);

    // The legacy driver answers neither by interface nor by name: no driver, so no device.
    START_SIM(sim, "legacy_no_endpoints.json");
    EXPECT_EQ(ScanHwFunctions(0, count, nullptr, false, false, 0), VDAPI_OK);
    EXPECT_EQ(count, 0);
    VdResult rc = VDAPI_E_INTERNAL;
    EXPECT_TRUE(VdapiTest::ListAllDevices(rc).empty());
    EXPECT_EQ(rc, VDAPI_OK);
    std::shared_ptr<IDevice> found;
    EXPECT_EQ(ScanDevices(ScanMode::BySerial, 1, 0, count, nullptr, &found, nullptr, 0, 0, 0, 0, 145000031, nullptr,
                          false, false, false, false),
              VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_EQ(found, nullptr);
}

TEST(Scan, TwoCallProtocolOnOneCard)
{
    START_SIM(sim, "one_asi_card.json");
    VdResult rc = 0;
    int32_t count = 0;
    ScanPorts(0, rc, count);
    EXPECT_EQ(rc, VDAPI_E_BUF_TOO_SMALL);
    ASSERT_EQ(count, 4);

    const std::vector<HwFunctionDescriptor> ports = ScanPorts(count, rc, count);
    ASSERT_EQ(rc, VDAPI_OK);
    ASSERT_EQ(count, 4);
    const int32_t chanTypes[] = {kChanInput, kChanOutput, kChanDblBufOutput, kChanLoopThrOutput};
    const int32_t ranks[] = {0, 0, -1, -1};
    for (int i = 0; i < 4; ++i) {
        const HwFunctionDescriptor& p = ports[size_t(i)];
        EXPECT_EQ(p.port, i + 1);
        EXPECT_EQ(p.chanType, chanTypes[i]) << "port " << i + 1;
        EXPECT_EQ(p.indexOnDevice, ranks[i]) << "port " << i + 1;
        EXPECT_TRUE(p.caps.Has(kCapAsi) && p.caps.Has(kCapInput) && p.caps.Has(kCapDblBuf));
        EXPECT_FALSE(p.caps.Has(kCapIp));
    }
    const DeviceDescriptor& d = ports[0].device;
    test::ExpectFields("card", {{"serial", d.serial, 2144000001}, {"type", d.typeNumber, 2144},
                                {"category", d.category, kCategoryPci}, {"bus", d.pciBus, 3}, {"slot", d.pciSlot, 2},
                                {"functions", d.numHwFuncs, 4}, {"ports", d.numPorts, 4}, {"inputs", d.numInputs, 1},
                                {"outputs", d.numOutputs, 3}, {"firmware", d.firmwareVersion, 7},
                                {"variant", d.firmwareVariant, 1}, {"status", d.firmwareStatus, 0},
                                {"vendor", d.vendorId, 0x5644}, {"device id", d.deviceId, 2144}});
    EXPECT_EQ(std::vector<int32_t>(d.infoBlock, d.infoBlock + 5), (std::vector<int32_t>{513, 1, 2, 3, 4}));
    EXPECT_EQ(std::vector<int32_t>(d.driverInfo, d.driverInfo + 7), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
}

TEST(Scan, ShortBufferAndSerialOrderAcrossCards)
{
    START_SIM(sim, "three_cards.json");
    VdResult rc = 0;
    int32_t count = 0;
    const int64_t serials[] = {1, 1, 2, 2, 3, 3};
    std::vector<HwFunctionDescriptor> ports;
    // A short buffer holds the first ports in the same order.
    for (const int32_t capacity : {3, 6}) {
        ports = ScanPorts(capacity, rc, count, 1);
        EXPECT_EQ(rc, capacity == 6 ? VDAPI_OK : VDAPI_E_BUF_TOO_SMALL);
        ASSERT_EQ(count, 6);
        for (int i = 0; i < capacity; ++i) {
            EXPECT_EQ(ports[size_t(i)].device.serial, serials[i]) << capacity << " " << i;
            EXPECT_EQ(ports[size_t(i)].port, i % 2 + 1) << capacity << " " << i;
        }
    }
    // The IP card's ports are IP ports: no rank, both directions counted.
    test::ExpectFields("ports", {{"IP type", ports[0].chanType, kChanIp},
                                 {"IP rank", ports[0].indexOnDevice, -1},
                                 {"IP inputs", ports[0].device.numInputs, 2},
                                 {"IP outputs", ports[0].device.numOutputs, 2},
                                 {"third type", ports[2].chanType, kChanInput},
                                 {"fourth rank", ports[3].indexOnDevice, 1}});

    // Unsorted, the devices come in driver order.
    ports = ScanPorts(6, rc, count, 0);
    ASSERT_EQ(rc, VDAPI_OK);
    EXPECT_EQ(ports[0].device.serial, 3);
}

TEST(Scan, OutdatedDriversRefuseTheAttachUnlessTheCheckIsSkipped)
{
    // PCIe and legacy cards of an old driver are left out of the listings. USB devices are
    // listed, but the port listing ends with the driver's refusal after the PCIe card's ports.
    struct Case {
        const char* rig;
        int64_t serial;
        int32_t type;
        size_t listed;
        VdResult portListing;
    };
    for (const Case& c : {Case{"old_pcie_driver.json", 2144000009, 2144, 0, VDAPI_OK},
                          Case{"old_legacy_driver.json", 145000009, 145, 0, VDAPI_OK},
                          Case{HALVIX_SOURCE_DIR "/tests/devices/usb/rigs/old_usb_driver.json", 215000001, 215, 2,
                               VDAPI_E_DRIVER_INCOMP}}) {
        SCOPED_TRACE(c.rig);
        START_SIM(sim, c.rig);
        VdResult rc = 0;
        const std::vector<DeviceDescriptor> devices = VdapiTest::ListAllDevices(rc);
        EXPECT_EQ(rc, VDAPI_OK);
        ASSERT_EQ(devices.size(), c.listed);
        EXPECT_TRUE(c.listed == 0 || (devices[0].serial == c.serial && devices[0].category == kCategoryUsb));
        const std::vector<HwFunctionDescriptor> ports = VdapiTest::ListAllPorts(0, &rc);
        EXPECT_EQ(rc, c.portListing);
        EXPECT_EQ(ports.size(), c.listed == 0 ? 0u : 4u);
        for (const HwFunctionDescriptor& port : ports)
            EXPECT_EQ(port.device.serial, 2144000101);

        VdDeviceInt device;
        EXPECT_EQ(device.AttachBySerial(c.serial), VDAPI_E_DRIVER_INCOMP);
        EXPECT_EQ(device.AttachByType(c.type, 0), VDAPI_E_DRIVER_INCOMP);
        if (c.type == 145) {
            EXPECT_EQ(device.AttachBySlot(12, 1), VDAPI_E_DRIVER_INCOMP) << "a legacy card by its slot too";
        }
        EXPECT_FALSE(device.IsAttached());
        EXPECT_EQ(device.AttachBySerial(c.serial, true), VDAPI_OK);
        EXPECT_EQ(device.TypeNumber(), c.type);
    }
    // Only the Vda1xx-N names answer: the version comes from them, and it is too old.
    START_SIM(sim, "legacy_names_only.json");
    VdDeviceInt device;
    EXPECT_EQ(device.AttachBySerial(145000021), VDAPI_E_DRIVER_INCOMP);
}

TEST(VdDevice, AttachStatesAndQueries)
{
    VdDeviceInt device;
    EXPECT_EQ(device.Detach(), VDAPI_E_NOT_ATTACHED);
    test::ExpectFields("detached", {{"type", device.TypeNumber(), -1}, {"category", device.Category(), -1},
                                    {"port type", device.PortType(1), -1}});
    int value = 0, sub = 0;
    int64_t p1 = 0, p2 = 0;
    EXPECT_EQ(device.GetIoConfig(1, kIoDir, value, sub, p1, p2), VDAPI_E_NOT_ATTACHED);
    int32_t count = 0;
    EXPECT_EQ(device.ListPorts(0, count, nullptr), VDAPI_E_NOT_ATTACHED);

    START_SIM(sim, "one_asi_card.json");
    EXPECT_EQ(device.AttachBySerial(1234), VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_FALSE(device.IsAttached());
    ASSERT_EQ(device.AttachBySerial(2144000001), VDAPI_OK);
    EXPECT_EQ(device.AttachBySerial(2144000001), VDAPI_E_ATTACHED);
    EXPECT_EQ(device.TypeNumber(), 2144);
    EXPECT_EQ(device.Category(), kCategoryPci);
    EXPECT_EQ(device.CachedPort(5), nullptr);

    // The ports' directions: Scan.TwoCallProtocolOnOneCard; a port outside the card:
    // Device.IoConfigChecksPortFirmwareAndGroup.
    EXPECT_EQ(device.GetIoConfig(1, kIoStd, value, sub, p1, p2), VDAPI_OK);
    EXPECT_STREQ(IoConfigName(value), "ASI");
    EXPECT_EQ(device.PortType(0), -1);

    // ListPorts with too little room: Scan.ShortBufferAndSerialOrderAcrossCards.

    EXPECT_EQ(device.Detach(), VDAPI_OK);
    EXPECT_EQ(device.Detach(), VDAPI_E_NOT_ATTACHED);

    EXPECT_EQ(device.AttachBySlot(3, 2), VDAPI_OK);
    EXPECT_EQ(device.Detach(), VDAPI_OK);
    EXPECT_EQ(device.AttachBySlot(3, 3), VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_EQ(device.AttachByType(2144, 0), VDAPI_OK);
    EXPECT_EQ(device.Detach(), VDAPI_OK);
    EXPECT_EQ(device.AttachByType(2144, 1), VDAPI_E_NO_SUCH_DEVICE);
    const uint8_t address[4] = {198, 51, 100, 7};
    EXPECT_EQ(device.AttachByAddress(address), VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_FALSE(device.IsAttached());

    // A card that goes away cannot be attached.
    ASSERT_TRUE(sim.command("unplug 2144000001"));
    EXPECT_EQ(device.AttachBySerial(2144000001), VDAPI_E_NO_SUCH_DEVICE);
}

TEST(VdDevice, FirmwareStatusReachesAttachAndPortQueries)
{
    START_SIM(sim, "firmware_status.json");
    VdDeviceInt tainted, obsolete, unknown;
    EXPECT_EQ(tainted.AttachBySerial(41), VDAPI_OK_TAINTED_FW);
    EXPECT_EQ(obsolete.AttachBySerial(51), VDAPI_OK_OBSOLETE_FW);
    // The direction needs IODIR, which the firmware refuses: unknown.
    EXPECT_EQ(obsolete.PortType(1), kChanUnknown);
    ASSERT_EQ(unknown.AttachBySerial(71), VDAPI_OK);
    DeviceDescriptor d;
    ASSERT_EQ(unknown.GetDescriptor(d), VDAPI_OK);
    EXPECT_EQ(d.firmwareStatus, -1);
}
