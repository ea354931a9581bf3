// Rig reading in-process: catalog consistency, completion from the catalog, interface index
// assignment and the errors a demanding user gets for a bad rig.
#include "sim/Catalog.h"
#include "sim/Rig.h"

#include <gtest/gtest.h>

namespace vdsim {
namespace {

using nlohmann::json;

std::string errorOf(const json& doc)
{
    try {
        parseRig(doc, "test.json");
    } catch (const RigError& e) {
        return e.what();
    }
    return "";
}

TEST(Rig, EveryCatalogTypeMakesAUsableDevice)
{
    for (const auto& [type, entry] : catalog().items()) {
        SCOPED_TRACE(type);
        const std::string family = entry.at("family").get<std::string>();
        json device = {{"type", std::stoi(type)}, {"serial", 3100000001}};
        json doc = family == "vde" ? json{{"service", {{"devices", {device}}}}} : json{{"devices", {device}}};
        Rig rig = parseRig(doc, "test.json");
        const std::vector<PortSpec>& ports = family == "vde" ? rig.service.devices.at(0).ports : rig.devices.at(0).ports;
        const auto& props = family == "vde" ? rig.service.devices.at(0).deviceProperties : rig.devices.at(0).deviceProperties;
        ASSERT_FALSE(ports.empty());
        EXPECT_EQ(lookupProperty(props, ports, -1, "PORT_COUNT"), int64_t(ports.size()));
        for (const auto& p : ports) {
            EXPECT_FALSE(p.caps.empty());
            // Every port says its direction and standard, which the device layer reads.
            EXPECT_TRUE(p.io.count("IODIR") || p.caps.count("IP")) << "a non-IP port without IODIR";
            EXPECT_TRUE(p.io.count("IOSTD"));
        }
    }
}

TEST(Rig, CatalogDefaultsAndOverridesCombine)
{
    Rig rig = parseRig(json::parse(R"({
        "drivers": {"pcie": {"version": "1.3.0", "infoRequest": "old"}},
        "devices": [
          {"type": 2144, "serial": 11, "index": 3,
           "properties": {"MAIN_PORT_COUNT": null, "EXTRA": 9},
           "portOverrides": [{"port": 2, "direction": "output", "removeCaps": ["ASI"], "addCaps": ["SDI"]}]},
          {"type": 2160, "serial": 12},
          {"type": 124, "serial": 13, "functions": [1, 3]},
          {"type": 145, "serial": 14}
        ]})"), "test.json");
    ASSERT_EQ(rig.devices.size(), 4u);
    const DeviceSpec& asi = rig.devices[0];
    EXPECT_FALSE(rig.drivers[Family::Pcie].newInfoRequest);
    EXPECT_EQ(rig.drivers[Family::Usb].version.minor, 8) << "unnamed drivers keep their defaults";
    EXPECT_FALSE(lookupProperty(asi.deviceProperties, asi.ports, -1, "MAIN_PORT_COUNT"));
    EXPECT_EQ(lookupProperty(asi.deviceProperties, asi.ports, -1, "EXTRA"), 9);
    EXPECT_EQ(asi.ports[1].io.at("IODIR").value, "OUTPUT");
    EXPECT_FALSE(lookupProperty(asi.deviceProperties, asi.ports, 1, "CAP_ASI"));
    EXPECT_EQ(lookupProperty(asi.deviceProperties, asi.ports, 1, "CAP_SDI"), 1);
    EXPECT_EQ(lookupProperty(asi.deviceProperties, asi.ports, 0, "CAP_ASI"), 1);
    EXPECT_FALSE(lookupProperty(asi.deviceProperties, asi.ports, 4, "CAP_ASI"));
    // Explicit index 3 is kept; the next PCIe card takes the first free index.
    EXPECT_EQ(asi.firstIndex, 3);
    EXPECT_EQ(rig.devices[1].firstIndex, 0);
    // Legacy functions take consecutive indices.
    EXPECT_EQ(rig.devices[2].functionPorts, (std::vector<int>{1, 3}));
    EXPECT_EQ(rig.devices[2].firstIndex, 0);
    EXPECT_EQ(rig.devices[3].firstIndex, 2);
}

TEST(Rig, ErrorsNameTheFileAndThePlace)
{
    EXPECT_EQ(errorOf(json::array()), "test.json: the rig must be a JSON object");
    EXPECT_EQ(errorOf({{"devices", {{{"type", 2144}}}}}), "test.json: devices[0]: \"serial\" is required");
    EXPECT_EQ(errorOf({{"devices", {{{"type", 4711}, {"serial", 1}}}}}), "test.json: devices[0].type: unknown device type 4711");
    EXPECT_EQ(errorOf({{"devices", {{{"type", 2144}, {"serial", 5}}, {{"type", 2174}, {"serial", 5}}}}}),
              "test.json: devices[1]: serial used twice");
    EXPECT_EQ(errorOf({{"devices", {{{"type", 2144}, {"serial", 5}, {"portOverrides", {{{"port", 5}}}}}}}}),
              "test.json: devices[0].portOverrides[0].port: value 5 out of range");
    EXPECT_EQ(errorOf({{"devices", {{{"type", 3137}, {"serial", 1}}}}}),
              "test.json: devices[0].type: type 3137 is Ethernet-attached: list it under service.devices");
    EXPECT_EQ(errorOf({{"devices", {{{"type", 124}, {"serial", 1}, {"functions", {2, 1}}}}}}),
              "test.json: devices[0].functions: port counts add up to 3, the type has 4");
    EXPECT_EQ(errorOf({{"devices", {{{"type", 2144}, {"serial", 1}, {"functions", {4}}}}}}),
              "test.json: devices[0].functions: only legacy PCI cards have several functions");
    EXPECT_EQ(errorOf({{"devices", {{{"type", 2144}, {"serial", 1}, {"index", 2}}, {{"type", 2174}, {"serial", 2}, {"index", 2}}}}}),
              "test.json: devices: pcie interface index 2 used twice or above 49");
    EXPECT_EQ(errorOf({{"drivers", {{"pcie", {{"version", "1.3"}}}}}}),
              "test.json: drivers.pcie.version: expected \"A.B.C\" or \"A.B.C.D\"");
    EXPECT_EQ(errorOf({{"drivers", {{"scsi", json::object()}}}}), "test.json: drivers: unknown driver family \"scsi\"");
    EXPECT_EQ(errorOf({{"service", {{"devices", {{{"type", 3137}, {"serial", 3137000001}, {"ip", "1.2.3"}}}}}}}),
              "test.json: service.devices[0].ip: bad IPv4 address \"1.2.3\"");
    for (const char* bad : {"1.2.3.256", "01.2.3.4", "1.2.3.4 ", "1.2..4", "1.2.3.4.5", "1.2.3.1234"})
        EXPECT_NE(errorOf({{"service", {{"devices", {{{"type", 3137}, {"serial", 3137000001}, {"ip", bad}}}}}}}).find("bad IPv4"),
                  std::string::npos) << bad;
    EXPECT_EQ(errorOf({{"service", {{"devices", {{{"type", 3137}, {"serial", 3137000001}, {"mac", "00-11-22-33-44"}}}}}}}),
              "test.json: service.devices[0].mac: bad MAC address \"00-11-22-33-44\" (expected 00-11-22-33-44-55)");
    EXPECT_EQ(errorOf({{"service", {{"listName", "a/b"}}}}), "test.json: service: list names have 1 to 64 characters and no '/'");
    EXPECT_EQ(errorOf({{"devices", {{{"type", 2144}, {"serial", 1}, {"portOverrides", {{{"port", 1}, {"direction", "up"}}}}}}}}),
              "test.json: devices[0].portOverrides[0].direction: expected \"input\", \"output\" or \"disabled\"");
}

TEST(Rig, VersionTexts)
{
    Version v;
    EXPECT_TRUE(parseVersion("1.3.1", v));
    EXPECT_EQ(v.build, 0);
    EXPECT_TRUE(parseVersion("5.1.2.77", v));
    EXPECT_EQ(v.build, 77);
    for (const char* bad : {"", "1.3", "1.3.1x", "1..3", "1.3.1.0.0", ".1.3", "1.3.1.", "-1.3.1", "1234567890.1.1"})
        EXPECT_FALSE(parseVersion(bad, v)) << bad;
}

} // namespace
} // namespace vdsim
