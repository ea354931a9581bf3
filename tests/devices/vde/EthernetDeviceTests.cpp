// Ethernet-attached devices end to end: the device layer in this process, the simulator's
// service and devices across a private network.
#include "devices/Scan.h"
#include "devices/IoConfigTable.h"
#include "devices/VdDevice.h"
#include "devices/vde/VdeDevice.h"
#include "devices/vde/VdeEnum.h"
#include "tests/devices/vde/EthernetRig.h"
#include "tests/support/FieldRows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

namespace {

using namespace Vdapi;
using ServiceProtocol::VdeListEntry;

using vdetest::kDemod;
using vdetest::kGateway;

class EthernetDevices : public vdetest::EthernetRig {
protected:
    /// The Ethernet devices a full scan lists.
    std::vector<DeviceDescriptor> ScanEthernet(bool vdeFlag, VdResult& rc, int32_t listFlag = 0)
    {
        std::vector<DeviceDescriptor> devices(16);
        int32_t count = 0;
        rc = ScanDevices(ScanMode::All, listFlag, int32_t(devices.size()), count, devices.data(), nullptr, nullptr, 0,
                         0, 0, 0, 0, nullptr, false, true, false, vdeFlag);
        devices.resize(size_t(std::clamp(count, 0, 16)));
        std::erase_if(devices, [](const DeviceDescriptor& d) { return d.category != kCategoryVde; });
        return devices;
    }
    VdResult FindBySerial(int64_t serial, std::shared_ptr<IDevice>* device = nullptr)
    {
        int32_t count = 0;
        std::shared_ptr<IDevice> found;
        return ScanDevices(ScanMode::BySerial, 1, 0, count, nullptr, device ? device : &found, nullptr, 0, 0, 0, 0,
                           serial, nullptr, false, true, false, false);
    }
    std::vector<VdeListEntry> Enumerate(bool refresh, VdResult& rc)
    {
        std::vector<VdeListEntry> entries(VdeEnum::kMaxEntries);
        int32_t count = VdeEnum::kMaxEntries;
        rc = VdeEnum::Enumerate(entries.data(), count, refresh);
        entries.resize(size_t(std::clamp(count, 0, VdeEnum::kMaxEntries)));
        return entries;
    }
    static const VdeListEntry* EntryOf(const std::vector<VdeListEntry>& entries, int64_t serial)
    {
        for (const auto& e : entries)
            if (e.serial == serial)
                return &e;
        return nullptr;
    }
    /// Message ids of the probes the devices received, in arrival order.
    std::vector<std::string> Probes()
    {
        std::istringstream in(Control("vde probes"));
        std::string ok;
        size_t n = 0;
        in >> ok >> n;
        std::vector<std::string> ids;
        for (std::string id; in >> id;)
            ids.push_back(id);
        EXPECT_EQ(ids.size(), n);
        return ids;
    }
};

TEST_F(EthernetDevices, ServiceListIsUsedWithoutAnyProbePortsComeFromTheDeviceAndModeOneOnlyByAttach)
{
    IN_PRIVATE_NETWORK();
    ASSERT_NO_FATAL_FAILURE(StartRig());
    VdResult rc = VDAPI_E_INTERNAL;
    const std::vector<DeviceDescriptor> devices = ScanEthernet(false, rc);
    EXPECT_EQ(rc, VDAPI_OK);
    ASSERT_EQ(devices.size(), 2u);
    const DeviceDescriptor& gw = devices[0];
    test::ExpectFields("gateway", {{"serial", gw.serial, kGateway}, {"type", gw.typeNumber, 3137},
                                   {"firmware", gw.firmwareVersion, 3}, {"variant", gw.firmwareVariant, 1},
                                   {"revision", gw.hardwareRevision, 0}});
    const uint8_t gwIp[4] = {198, 51, 100, 21};
    const uint8_t gwMac[6] = {0x02, 0x56, 0x44, 0x00, 0x00, 0x21};
    EXPECT_EQ(std::memcmp(gw.ipAddress, gwIp, 4), 0);
    EXPECT_EQ(std::memcmp(gw.macAddress, gwMac, 6), 0);
    EXPECT_EQ(devices[1].serial, kDemod);
    EXPECT_EQ(Probes().size(), 0u) << "a probe was sent although the service's list was readable";

    // The ports' directions come over SOAP from the device; the scan detaches every device.
    std::vector<HwFunctionDescriptor> ports(64);
    int32_t count = 0;
    ASSERT_EQ(ScanHwFunctions(int32_t(ports.size()), count, ports.data(), true, false, 0), VDAPI_OK);
    std::map<int, int32_t> gatewayTypes;
    for (int32_t i = 0; i < count; ++i)
        if (ports[size_t(i)].device.serial == kGateway)
            gatewayTypes[ports[size_t(i)].port] = ports[size_t(i)].chanType;
    EXPECT_EQ(gatewayTypes, (std::map<int, int32_t>{{1, kChanInput}, {2, kChanInput}, {3, kChanOutput}, {4, kChanDblBufOutput}}));
    const std::string gwSerial = std::to_string(kGateway);
    EXPECT_GT(Counter("vde:getioconfig:" + gwSerial), 0u);
    EXPECT_GT(Counter("vde:attach:" + gwSerial), 0u);
    EXPECT_EQ(Counter("vde:attach:" + gwSerial), Counter("vde:detach:" + gwSerial));
    EXPECT_GT(Counter("svc:1"), 0u) << "properties go through the device service";

    // A device found by a search answers its properties and port configuration.
    Control("counters reset");
    std::shared_ptr<IDevice> found;
    ASSERT_EQ(FindBySerial(kGateway, &found), VDAPI_OK);
    auto* vde = dynamic_cast<VdeDevice*>(found.get());
    ASSERT_NE(vde, nullptr);
    EXPECT_EQ(vde->NumPorts(), 4);
    // String property through service command 7 (a text that does not fit: VdeSvcClientTests).
    char name[32] = {};
    size_t length = 0;
    EXPECT_EQ(vde->GetStrProperty("DEVICE_NAME", -1, name, sizeof name, length), VDAPI_OK);
    EXPECT_STREQ(name, "gateway-a");
    // Numeric properties through command 1 (the port count read above is one); a key whose last
    // field is set is not served.
    int32_t portCount = 0;
    EXPECT_EQ(vde->GetPropertyInt32("PORT_COUNT", -1, portCount, -1, -1, 0, 0, 3), VDAPI_E_NOT_IMPLEMENTED);
    // Port configuration: the standard from the capabilities; the direction from the device (its
    // values: the port types above), failures as the device sends them.
    int value = 0, subValue = 0;
    int64_t par1 = 0, par2 = 0;
    ASSERT_EQ(vde->GetIoConfig(1, kIoStd, value, subValue, par1, par2), VDAPI_OK);
    EXPECT_EQ(value, IoConfigCode("ASI"));
    Control("fail vde:getioconfig:" + gwSerial + " 1 4104");
    EXPECT_EQ(vde->GetIoConfig(3, kIoDir, value, subValue, par1, par2), VDAPI_E_IN_USE);
    Control("corrupt vde:getioconfig:" + gwSerial + " 1");
    EXPECT_EQ(vde->GetIoConfig(3, kIoDir, value, subValue, par1, par2), VDAPI_E_COMMUNICATION);
    found.reset();
    EXPECT_EQ(Counter("vde:detach:" + gwSerial), 1u) << "destroying the device detaches it";

    // A device in operating mode 1 is listed only when asked for, and found by an attach.
    Control("vde opmode " + gwSerial + " 1");
    const std::vector<DeviceDescriptor> listed = ScanEthernet(false, rc);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].serial, kDemod);
    EXPECT_EQ(ScanEthernet(false, rc, 1).size(), 2u);
    VdDeviceInt device;
    ASSERT_EQ(device.AttachBySerial(kGateway), VDAPI_OK);
    EXPECT_EQ(device.Detach(), VDAPI_OK);
}

TEST_F(EthernetDevices, RefusedRefreshFallsBackToOneProbePerAdapterWhoseDevicesNeedTheService)
{
    IN_PRIVATE_NETWORK();
    ASSERT_NO_FATAL_FAILURE(StartRig());
    Control("fail svc:11 1 4126");
    VdResult rc = VDAPI_E_INTERNAL;
    const std::vector<VdeListEntry> entries = Enumerate(true, rc);
    EXPECT_EQ(rc, VDAPI_OK);
    // Both adapters see both devices: the copies of the second pass are removed.
    ASSERT_EQ(entries.size(), 2u);
    const VdeListEntry* gw = EntryOf(entries, kGateway);
    ASSERT_NE(gw, nullptr);
    EXPECT_EQ(gw->ipAddress, (std::array<uint8_t, 4>{198, 51, 100, 21}));
    EXPECT_EQ(gw->macAddress, (std::array<uint8_t, 6>{0x02, 0x56, 0x44, 0x00, 0x00, 0x21}));
    test::ExpectFields("gateway", {{"port", gw->port, 8000}, {"type", gw->typeNumber, 3137},
                                   {"firmware", gw->firmwareVersion, 3}, {"variant", gw->firmwareVariant, 1}});
    EXPECT_NE(EntryOf(entries, kDemod), nullptr);

    // One pass per adapter (198.51.100.1, then .2), each heard by both devices; the counter of
    // the first pass of an enumeration is d0, of the second d1.
    const std::vector<std::string> probes = Probes();
    ASSERT_EQ(probes.size(), 4u);
    std::vector<std::string> distinct;
    for (const auto& id : probes)
        if (std::find(distinct.begin(), distinct.end(), id) == distinct.end())
            distinct.push_back(id);
    ASSERT_EQ(distinct.size(), 2u);
    // The ids' form is VdeDiscoveryText.MessageIdAndXAddrsPattern's; here the pass counter in them.
    EXPECT_EQ(distinct[0].substr(18), "d0");
    EXPECT_EQ(distinct[1].substr(18), "d1");

    // The scan itself with vdeFlag: refused refresh, discovery, and the devices opened.
    Control("fail svc:11 1 4126");
    Control("vde probes reset");
    const std::vector<DeviceDescriptor> devices = ScanEthernet(true, rc);
    EXPECT_EQ(devices.size(), 2u);
    EXPECT_EQ(Probes().size(), 4u);

    // Discovered devices cannot be opened without a usable service.
    Control("counters reset");
    Control("service stop");
    EXPECT_EQ(Enumerate(false, rc).size(), 2u) << "discovery finds the devices";
    EXPECT_TRUE(ScanEthernet(false, rc).empty());
    EXPECT_EQ(rc, VDAPI_OK);
    EXPECT_EQ(FindBySerial(kGateway), VDAPI_E_CONNECT_TO_SERVICE);
    EXPECT_EQ(Counter("vde:attach:" + std::to_string(kGateway)), 0u);
    Control("service start");
    EXPECT_EQ(FindBySerial(kGateway), VDAPI_OK);
}

TEST_F(EthernetDevices, FailedSlowOrBrokenAnswersFailTheOpenAndTheScanGoesOn)
{
    IN_PRIVATE_NETWORK();
    ASSERT_NO_FATAL_FAILURE(StartRig());
    const std::string gw = std::to_string(kGateway);
    Control("fail vde:getdescriptor:" + gw + " 1 4128");
    EXPECT_EQ(FindBySerial(kGateway), VDAPI_E_INVALID_ROLLOFF);
    EXPECT_EQ(Counter("vde:attach:" + gw), 1u);
    EXPECT_EQ(Counter("vde:detach:" + gw), 1u);
    // The device's own refusal of the attach is returned as it sent it, with nothing to detach.
    Control("fail vde:attach:" + gw + " 1 4104");
    EXPECT_EQ(FindBySerial(kGateway), VDAPI_E_IN_USE);
    EXPECT_EQ(Counter("vde:detach:" + gw), 1u);

    // A slow or broken device is left out and the scan goes on.
    Control("delay 6000 vde:attach:" + gw);
    VdResult rc = VDAPI_E_INTERNAL;
    const std::vector<DeviceDescriptor> devices = ScanEthernet(false, rc);
    EXPECT_EQ(rc, VDAPI_OK);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].serial, kDemod);
    EXPECT_EQ(FindBySerial(kGateway), VDAPI_E_COMMUNICATION);

    Control("delay 0 vde:attach:" + gw);
    Control("corrupt vde:attach:" + gw + " 1");
    EXPECT_EQ(FindBySerial(kGateway), VDAPI_E_COMMUNICATION);
    Control("corrupt vde:getdescriptor:" + gw + " 1");
    EXPECT_EQ(FindBySerial(kGateway), VDAPI_E_COMMUNICATION);
    EXPECT_EQ(FindBySerial(kGateway), VDAPI_OK);
}

} // namespace
