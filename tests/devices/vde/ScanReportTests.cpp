// "enableDteDeviceScan" then "scanDevices" over the wire: the real halvix, driven by the
// console controller, reports the Ethernet-attached devices' ports with availability probed
// through the simulated device service, the same with and without the scan's property memory.
#include "tests/devices/vde/EthernetRig.h"
#include "tests/integration/HalvixProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <utility>

namespace {

using vdetest::kDemod;
using vdetest::kGateway;
using Json = nlohmann::json;
using PortKey = std::pair<std::string, int>; // serial text, port

// A scan probes every port through the service; generous for sanitised builds.
constexpr std::chrono::seconds kScanDeadline{180};

class VdeScanReport : public vdetest::EthernetRig {
protected:
    /// One "scanDevices" with the Ethernet scan enabled, run by halvixctl; the report array.
    Json Scan(bool quitAfter = false)
    {
        std::vector<std::string> args = {"--address", "127.0.0.1", "--timeout", "150", "scan", "--dte", "--json"};
        if (quitAfter)
            args.insert(args.begin() + 4, "--quit"); // before the command
        test::ChildProcess ctl(HALVIXCTL_BIN, args, test::ChildProcess::Streams::Merged);
        EXPECT_EQ(ctl.wait(kScanDeadline), 0) << ctl.output();
        std::istringstream lines(ctl.output());
        for (std::string line; std::getline(lines, line);) {
            if (line.empty() || line[0] != '[')
                continue;
            Json report = Json::parse(line, nullptr, false);
            if (report.is_array())
                return report;
        }
        ADD_FAILURE() << "no report in the controller's output:\n" << ctl.output();
        return Json::array();
    }

    /// "isAvailable" of every "VDE" entry by serial and port; its "type" by the same key.
    static std::map<PortKey, bool> Availability(const Json& report, std::map<PortKey, std::string>* types = nullptr)
    {
        std::map<PortKey, bool> available;
        for (const Json& entry : report) {
            if (entry.value("category", "") != "VDE")
                continue;
            const PortKey key{entry.value("serial", ""), entry.value("port", 0)};
            EXPECT_EQ(available.count(key), 0u) << entry.dump();
            available[key] = entry.value("isAvailable", false);
            if (types)
                (*types)[key] = entry.value("type", "");
        }
        return available;
    }
};

TEST_F(VdeScanReport, EthernetPortsAreReportedAvailableThroughTheServiceUntilHeld)
{
    IN_PRIVATE_NETWORK();
    ASSERT_NO_FATAL_FAILURE(StartRig());
    integration::HalvixProcess halvix({"--server_address", "127.0.0.1", "--local_address", "127.0.0.1"});
    ASSERT_TRUE(halvix.started());
    const std::string gw = std::to_string(kGateway), dm = std::to_string(kDemod);
    Control("counters reset");

    std::map<PortKey, std::string> types;
    const std::map<PortKey, bool> free = Availability(Scan(), &types);
    EXPECT_EQ(free, (std::map<PortKey, bool>{{{gw, 1}, true}, {{gw, 2}, true}, {{gw, 3}, true}, {{gw, 4}, true},
                                             {{dm, 1}, true}, {{dm, 2}, true}}))
        << halvix.output();
    EXPECT_EQ(types[PortKey(gw, 1)], "ASI");
    EXPECT_EQ(types[PortKey(dm, 1)], "RF");
    // Each port is asked once: an input port by its input probe, an output port by its output
    // probe (the other direction stops at the port's configuration). Devices attach over SOAP.
    EXPECT_EQ(Counter("svc:6"), 6u);
    EXPECT_EQ(Counter("svc:4"), 6u);
    EXPECT_EQ(Counter("svc:5"), 6u);
    EXPECT_GE(Counter("vde:attach:" + gw), 4u) << "one device attach per port probe at least";
    EXPECT_EQ(Counter("vde:attach:" + gw), Counter("vde:detach:" + gw));
    EXPECT_GT(Counter("vde:getioconfig:" + gw), 0u);

    // Another user holds an input port and an output port of the gateway and a demodulator port.
    Control("hold " + gw + " 1");
    Control("hold " + gw + " 4");
    Control("hold " + dm + " 2");
    EXPECT_EQ(Availability(Scan()), (std::map<PortKey, bool>{{{gw, 1}, false}, {{gw, 2}, true}, {{gw, 3}, true},
                                                             {{gw, 4}, false}, {{dm, 1}, true}, {{dm, 2}, false}}));
    Control("release " + gw + " 1");
    Control("release " + gw + " 4");
    Control("release " + dm + " 2");
    const Json report = Scan(true);
    EXPECT_EQ(Availability(report), free);
    EXPECT_EQ(halvix.wait(std::chrono::seconds(20)), 0) << halvix.output();

    // Without the scan's memory of device properties the report is the same, byte for byte.
    ::setenv("VDAPI_SCAN_CACHE", "off", 1);
    integration::HalvixProcess uncached({"--server_address", "127.0.0.1", "--local_address", "127.0.0.1"});
    ::unsetenv("VDAPI_SCAN_CACHE");
    ASSERT_TRUE(uncached.started());
    EXPECT_EQ(Scan(true).dump(), report.dump());
    EXPECT_EQ(uncached.wait(std::chrono::seconds(20)), 0) << uncached.output();
}

} // namespace
