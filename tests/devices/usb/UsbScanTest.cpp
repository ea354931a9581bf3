// USB family against the real simulator: listing, targeted searches, identity fields, property
// look-ups and I/O configuration through the USB driver (its driver-version rule: core/ScanTest).
#include "tests/support/FieldRows.h"
#include "tests/support/SimQuery.h"

#include "devices/CapabilityTable.h"
#include "devices/FamilyScan.h"
#include "devices/IoConfigTable.h"
#include "devices/Scan.h"
#include "devices/VdDevice.h"
#include "devices/usb/VduDevice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Vdapi {
namespace {

const std::string kRigs = std::string(HALVIX_SOURCE_DIR) + "/tests/devices/usb/rigs/";

/// Runs the USB enumerator alone.
VdResult EnumerateUsbOnly(FamilyScan& scan, std::vector<DeviceDescriptor>& out, int32_t capacity)
{
    out.assign(size_t(capacity), DeviceDescriptor());
    scan.capacity = capacity;
    scan.cursor = capacity > 0 ? out.data() : nullptr;
    return ScanVduDevices(scan);
}

TEST(UsbScan, ReferenceRigListsBothDevicesBetweenLegacyAndPcie)
{
    START_SIM(sim, VdapiTest::ReferenceRig());
    VdResult rc = 0;
    const std::vector<DeviceDescriptor> devices = VdapiTest::ListAllDevices(rc);
    ASSERT_EQ(rc, VDAPI_OK);
    std::vector<int32_t> categories;
    const DeviceDescriptor* asi = nullptr;
    const DeviceDescriptor* demod = nullptr;
    for (const DeviceDescriptor& d : devices) {
        categories.push_back(d.category);
        if (d.typeNumber == 215)
            asi = &d;
        if (d.typeNumber == 238)
            demod = &d;
    }
    ASSERT_NE(asi, nullptr);
    ASSERT_NE(demod, nullptr);
    // The USB family is asked second: its devices follow the legacy cards and precede PCIe.
    EXPECT_EQ(demod, asi + 1);
    EXPECT_EQ((asi - 1)->category, kCategoryPci);
    EXPECT_EQ((asi - 1)->typeNumber, 124) << "last legacy card";
    EXPECT_EQ((demod + 1)->typeNumber, 2144) << "first PCIe card";

    // The ASI device is input and output capable: its IODIR setting (INPUT) decides its counts.
    test::ExpectFields("ASI device", {{"category", asi->category, kCategoryUsb}, {"serial", asi->serial, 215001313},
                                      {"address", asi->usbAddress, 5}, {"device id", asi->deviceId, 215},
                                      {"vendor", asi->vendorId, 0x5644}, {"sub-type", asi->subType, 1},
                                      {"firmware", asi->firmwareVersion, 4}, {"status", asi->firmwareStatus, -1},
                                      {"functions", asi->numHwFuncs, 1}, {"inputs", asi->numInputs, 1},
                                      {"outputs", asi->numOutputs, 0}});
    EXPECT_EQ(demod->subType, 0);

    // Attached, the demodulator's only port carries the catalog's capabilities.
    VdDeviceInt device;
    ASSERT_EQ(device.AttachBySerial(238001414, false), VDAPI_OK);
    HwFunctionDescriptor port;
    int32_t n = 0;
    ASSERT_EQ(device.ListPorts(1, n, &port), VDAPI_OK);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(port.chanType, kChanInput);
    for (const char* cap : {"INPUT", "DEMOD", "RX_DVBT2", "UHF"})
        EXPECT_TRUE(port.caps.Has(CapabilityIndex(cap))) << cap;
    EXPECT_FALSE(port.caps.Has(CapabilityIndex("ASI")));
}

TEST(UsbScan, TargetedSearchesTheirLimitsAndFaultyDevices)
{
    START_SIM(sim, kRigs + "two_of_a_kind.json");
    std::vector<DeviceDescriptor> out;

    FamilyScan all;
    EXPECT_EQ(EnumerateUsbOnly(all, out, 2), VDAPI_E_BUF_TOO_SMALL);
    EXPECT_EQ(all.count, 3);
    EXPECT_EQ(out[0].serial, 238000001);
    // An output-configured port counts as an output.
    test::ExpectFields("second", {{"serial", out[1].serial, 215000002}, {"revision", out[1].hardwareRevision, 2},
                                  {"variant", out[1].firmwareVariant, 1}, {"outputs", out[1].numOutputs, 1},
                                  {"inputs", out[1].numInputs, 0}});

    // The second device of a type, in interface order (a targeted search: driver 5.0 passes the
    // version check).
    std::shared_ptr<IDevice> found;
    FamilyScan byType;
    byType.mode = ScanMode::ByType;
    byType.typeNumber = 238;
    byType.typeIndex = 1;
    byType.foundDevice = &found;
    EXPECT_EQ(EnumerateUsbOnly(byType, out, 0), VDAPI_OK);
    ASSERT_NE(found, nullptr);
    DeviceDescriptor d;
    found->GetDescriptor(d);
    test::ExpectFields("found", {{"serial", d.serial, 238000003}, {"device id", d.deviceId, 4660},
                                 {"passed", byType.typePassed, 2}});

    byType.typeIndex = 2;
    EXPECT_EQ(EnumerateUsbOnly(byType, out, 0), VDAPI_E_NO_SUCH_DEVICE);

    FamilyScan bySerial;
    bySerial.mode = ScanMode::BySerial;
    bySerial.serial = 215000002;
    EXPECT_EQ(EnumerateUsbOnly(bySerial, out, 1), VDAPI_OK);
    EXPECT_EQ(bySerial.count, 1);
    EXPECT_EQ(out[0].usbAddress, 4);

    // USB devices have neither a PCI slot nor an IP address.
    const uint8_t address[4] = {198, 51, 100, 1};
    FamilyScan byAddress;
    byAddress.mode = ScanMode::ByAddress;
    byAddress.address = address;
    EXPECT_EQ(EnumerateUsbOnly(byAddress, out, 0), VDAPI_E_NO_SUCH_DEVICE);
    FamilyScan bySlot;
    bySlot.mode = ScanMode::BySlot;
    EXPECT_EQ(EnumerateUsbOnly(bySlot, out, 0), VDAPI_E_NO_SUCH_DEVICE);

    // An unplugged device answers nothing and is skipped.
    ASSERT_TRUE(sim.command("unplug 238000001"));
    FamilyScan unplugged;
    EXPECT_EQ(EnumerateUsbOnly(unplugged, out, 4), VDAPI_OK);
    ASSERT_EQ(unplugged.count, 2);
    EXPECT_EQ(out[0].serial, 215000002);
    ASSERT_TRUE(sim.command("plug 238000001"));

    // A failing version query ends a targeted search with its error.
    ASSERT_TRUE(sim.command("fail 0xb1bc76be 1 31"));
    bySerial.serial = 238000003;
    EXPECT_EQ(EnumerateUsbOnly(bySerial, out, 0), VDAPI_E_COMMUNICATION);

    // A failing sub-type read ends the initialisation: left out of a listing.
    ASSERT_TRUE(sim.command("fail 0xb1bc7702 1 31"));
    FamilyScan again;
    EXPECT_EQ(EnumerateUsbOnly(again, out, 4), VDAPI_OK);
    EXPECT_EQ(again.count, 2);

    // A garbled information record (wrong length) is not trusted.
    ASSERT_TRUE(sim.command("corrupt 0xb1bc76b6 1"));
    FamilyScan third;
    EXPECT_EQ(EnumerateUsbOnly(third, out, 4), VDAPI_OK);
    EXPECT_EQ(third.count, 2);

    // With every device unplugged the family lists none.
    for (const char* serial : {"238000001", "215000002", "238000003"})
        ASSERT_TRUE(sim.command(std::string("unplug ") + serial));
    FamilyScan none;
    EXPECT_EQ(EnumerateUsbOnly(none, out, 4), VDAPI_E_NO_DEVICE);
    EXPECT_EQ(none.count, 0);
}

TEST(VduHal, PropertiesIoConfigurationAndVersion)
{
    VduHal closed;
    DriverProtocol::PropertyQuery key;
    uint64_t value = 99;
    key.name = std::string(50, 'A');
    // Refused before anything is sent, even without a driver.
    EXPECT_EQ(closed.GetProperty(key, value), VDAPI_E_BUF_TOO_SMALL);
    EXPECT_EQ(value, 0u);
    key.name = "PORT_COUNT";
    EXPECT_EQ(closed.GetProperty(key, value), VDAPI_E_DEV_DRIVER);
    int32_t major = 0, minor = 0, bugfix = 0, build = 0;
    EXPECT_EQ(closed.GetDriverVersion(major, minor, bugfix, build), VDAPI_E_DEV_DRIVER);
    EXPECT_EQ(major, -1);
    EXPECT_EQ(build, -1);

    START_SIM(sim, kRigs + "two_of_a_kind.json");
    VduHal hal;
    EXPECT_EQ(hal.Open(3, -1, 0), VDAPI_E_NOT_FOUND);
    ASSERT_EQ(hal.Open(1, -1, 0), VDAPI_OK);
    ASSERT_EQ(hal.GetDriverVersion(major, minor, bugfix, build), VDAPI_OK);
    // No FAN_TYPE for this type.
    test::ExpectFields("opened", {{"serial", hal.Info().serial, 215000002},
                                  {"sensors", hal.TempSensorCount(), 1},
                                  {"sensor type", hal.TempSensorType(), 2}, {"fan type", hal.FanType(), -1},
                                  {"major", major, 5}, {"minor", minor, 0}});

    key.name = std::string(49, 'A');
    EXPECT_EQ(hal.GetProperty(key, value), VDAPI_E_NOT_FOUND) << "49 characters are sent";
    key.name = "REF_CLK_FREQ";
    ASSERT_EQ(hal.GetProperty(key, value), VDAPI_OK);
    EXPECT_EQ(value, 27000000u);
    key.name = "CAP_DBLBUF";
    key.port = 0;
    ASSERT_EQ(hal.GetProperty(key, value), VDAPI_OK);
    EXPECT_EQ(value, 1u);
    key.port = 5;
    EXPECT_NE(hal.GetProperty(key, value), VDAPI_OK);

    // Opened for a port, the HAL needs the port's four capability flags answered...
    EXPECT_EQ(hal.Open(0, 0, 0), VDAPI_E_NOT_FOUND);
    // ...and keeps what the port's properties say.
    ASSERT_EQ(hal.Open(1, 0, 0), VDAPI_OK);
    const auto& open = hal.OpenPortProperties();
    test::ExpectFields("port", {{"64-bit stamps", open.timestamp64, true}, {"SDI time", open.sdiTime, false},
                                {"null packets", open.supportsTxNull, true}, {"loop-back", open.loopBack32bTx, 0},
                                {"send registers", open.registersTx, 4096}, {"receive regs", open.registersRx, -1}});

    // A parameter that names no port is passed on as the driver gives it.
    DriverProtocol::IoConfigItem item;
    item.port = 0;
    item.group = "IOSTD";
    ASSERT_EQ(hal.GetIoConfig(item), VDAPI_OK);
    EXPECT_EQ(item.value, "ASI");
    EXPECT_EQ(item.par1, -1);
    item.group = std::string(50, 'G');
    EXPECT_EQ(hal.GetIoConfig(item), VDAPI_E_INVALID_ARG);

    // Through the device object, by configuration codes: the driver counts the buffer partner
    // port from 0, the layer from 1.
    VdDeviceInt device;
    ASSERT_EQ(device.AttachBySerial(215000002, false), VDAPI_OK);
    int v = -1, sub = -1;
    int64_t par1 = 0, par2 = 0;
    ASSERT_EQ(device.GetIoConfig(1, kIoDir, v, sub, par1, par2), VDAPI_OK);
    EXPECT_STREQ(IoConfigName(v), "OUTPUT");
    EXPECT_STREQ(IoConfigName(sub), "DBLBUF");
    EXPECT_EQ(par1, 1);
    EXPECT_EQ(device.PortType(1), kChanDblBufOutput);
}

} // namespace
} // namespace Vdapi
