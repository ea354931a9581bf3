// "scanDevices" and the enable methods over the wire: the real halvix against the simulator,
// each report rule checked on the reply text as it arrived (key order, number forms).
#include "HalvixProcess.h"

#include "tests/support/PrivateNetwork.h"
#include "tests/support/SimQuery.h"
#include "tools/gui/GuiServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using integration::HalvixProcess;
using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;
using namespace std::chrono_literals;

// A scan probes every port through the simulator; the reference rig takes tens of seconds in
// an unoptimised or sanitised build.
constexpr auto kScanDeadline = 240s;

std::string rig(const std::string& name)
{
    return test::sourcePath("tests/integration/rigs/" + name);
}

std::vector<std::string> keysOf(const OrderedJson& entry)
{
    std::vector<std::string> keys;
    for (auto it = entry.begin(); it != entry.end(); ++it)
        keys.push_back(it.key());
    return keys;
}

/// Indices of the entries whose "deviceName" and "type" are these.
std::vector<size_t> find(const OrderedJson& report, const std::string& name, const std::string& type)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < report.size(); ++i) {
        if (report[i].value("deviceName", "") == name && report[i].value("type", "") == type)
            at.push_back(i);
    }
    return at;
}

class ScanDevices : public ::testing::Test {
protected:
    /// Simulator with `rigPath`, a GUI server on `address`, halvix connected to it.
    void start(const std::string& rigPath, const std::string& address)
    {
        sim = std::make_unique<test::SimProcess>(rigPath);
        ASSERT_TRUE(sim->ready()) << sim->error();
        sim->exportRunDir(); // the halvix started next inherits it
        server = std::make_unique<gui::GuiServer>(address);
        ASSERT_TRUE(server->listen());
        halvix = std::make_unique<HalvixProcess>(std::vector<std::string>{"--server_address", address,
                                                                          "--local_address", address});
        ASSERT_TRUE(halvix->started());
        auto accepted = server->accept(gui::GuiServer::in(20s));
        ASSERT_TRUE(accepted) << accepted.message << "\n" << halvix->output();
        ASSERT_TRUE(server->nextNotification("newConnection", gui::GuiServer::in(20s)));
    }

    /// The whole reply to a request, as received.
    gui::GuiResult request(const std::string& method, const Json& params, std::chrono::seconds deadline = 20s)
    {
        auto reply = server->call(method, params, gui::GuiServer::in(deadline));
        EXPECT_TRUE(reply) << method << ": " << reply.message << "\n" << halvix->output();
        return reply;
    }

    /// The report of one "scanDevices", parsed from the reply text with its key order kept.
    OrderedJson scan()
    {
        const gui::GuiResult reply = request("scanDevices", Json::object(), kScanDeadline);
        const OrderedJson parsed = OrderedJson::parse(reply.text, nullptr, false);
        EXPECT_TRUE(parsed.is_object() && parsed.contains("result") && parsed["result"].is_array()) << reply.text;
        return parsed.is_object() && parsed.contains("result") ? parsed["result"] : OrderedJson();
    }

    /// Driver requests of one kind served since the last reset.
    uint64_t requests(const std::string& kind) { return VdapiTest::Counters(*sim)[kind]; }

    void quit()
    {
        ASSERT_TRUE(server->sendNotification("quit"));
        EXPECT_EQ(halvix->waitExit(), 0) << halvix->output();
    }

    std::unique_ptr<test::SimProcess> sim;
    std::unique_ptr<gui::GuiServer> server;
    std::unique_ptr<HalvixProcess> halvix;
};

TEST_F(ScanDevices, ReferenceRigReportFollowsEveryEntryRule)
{
    ASSERT_NO_FATAL_FAILURE(start(VdapiTest::ReferenceRig(), "127.0.67.2"));
    const OrderedJson report = scan();
    ASSERT_GT(report.size(), 40u);

    // Every entry as it came over the wire: keys in ascending order (each kind's exact key set
    // is DeviceReportTest), serial as decimal text, integers; the 4K groups close the report.
    size_t firstGroup = report.size();
    for (size_t i = 0; i < report.size(); ++i) {
        const OrderedJson& entry = report[i];
        const std::vector<std::string> keys = keysOf(entry);
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << entry.dump();
        EXPECT_TRUE(entry["typeNumber"].is_number_integer()) << entry.dump();
        EXPECT_TRUE(entry["port"].is_number_integer()) << entry.dump();
        ASSERT_TRUE(entry["serial"].is_string()) << entry.dump();
        const std::string serial = entry["serial"];
        EXPECT_EQ(serial, std::to_string(std::stoll(serial))) << entry.dump();
        // Every serial of the reference rig begins with its card's type number.
        EXPECT_EQ(serial.rfind(std::to_string(entry["typeNumber"].get<int>()), 0), 0u) << entry.dump();
        if (entry["type"] == "4K")
            firstGroup = std::min(firstGroup, i);
        else
            EXPECT_EQ(firstGroup, report.size()) << "per-port entry after a 4K entry: " << entry.dump();
    }

    // How each port's entries are ordered and named is tests/app/ScanProcedureTest.cpp and
    // DeviceReportTest.cpp; here the real cards reach the report: a PCIe port with ASI and SDI,
    // a USB port, a USB receiver.
    const auto asi = find(report, "VDA-124:1", "ASI");
    ASSERT_EQ(asi.size(), 1u);
    EXPECT_EQ(find(report, "VDA-124:1", "SDI"), std::vector<size_t>{asi[0] + 1});
    const auto usb = find(report, "VDU-215:1", "ASI");
    ASSERT_EQ(usb.size(), 1u) << report.dump();
    EXPECT_EQ(report[usb[0]]["serial"], "215001313");
    EXPECT_EQ(report[usb[0]]["category"], "VDU");
    EXPECT_EQ(report[usb[0]]["isAvailable"], true);
    const auto demod = find(report, "VDU-238:1", "RF");
    ASSERT_EQ(demod.size(), 1u) << report.dump();
    EXPECT_EQ(report[demod[0]]["input"], true);

    // The 4K groups close the report: the 2179's three, then the 2174's one, in device order.
    ASSERT_EQ(report.size() - firstGroup, 4u);
    EXPECT_EQ(report[firstGroup]["deviceName"], "VDA-2179:1-4");
    EXPECT_EQ(report[firstGroup + 1]["deviceName"], "VDA-2179:5-8");
    EXPECT_EQ(report[firstGroup + 2]["deviceName"], "VDA-2179:9-12");
    EXPECT_EQ(report[firstGroup + 3]["deviceName"], "VDA-2174:1-4");
    EXPECT_TRUE(report[firstGroup + 2]["numPorts"].is_number_integer());
    EXPECT_EQ(report[firstGroup + 2]["numPorts"], 4);
    EXPECT_EQ(report[firstGroup + 1]["port"], 5);
    quit();
}

// A USB driver older than 4.8 refuses every attach of its devices. The port scan then answers
// VDAPI_E_DRIVER_INCOMP instead of a count, and the report keeps nothing of that scan: the
// old driver hides the PCIe card's ports too.
TEST_F(ScanDevices, AnOldUsbDriverEmptiesThePortScan)
{
    ASSERT_NO_FATAL_FAILURE(start(test::sourcePath("tests/devices/usb/rigs/old_usb_driver.json"), "127.0.67.11"));
    const gui::GuiResult reply = request("scanDevices", Json::object(), kScanDeadline);
    EXPECT_NE(reply.text.find(R"("result":[])"), std::string::npos) << reply.text;
    quit();
}

TEST_F(ScanDevices, QuitDuringAScheduledScanWaitsForItAndExitsCleanly)
{
    ASSERT_NO_FATAL_FAILURE(start(rig("asi_card.json"), "127.0.67.9"));
    // What a whole scan asks of the exclusive-access requests, to tell a finished scan.
    ASSERT_TRUE(sim->command("counters reset"));
    scan();
    const uint64_t wholeScan = requests("0xafc86f06");
    ASSERT_GT(wholeScan, 1u);
    // Slow channel claims keep the scan busy long enough for "quit" to arrive during it.
    ASSERT_TRUE(sim->command("delay 300 0xafc86f06"));
    ASSERT_TRUE(sim->command("counters reset"));
    const int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_EQ(request("schedule", {{"time", now}, {"scheduleId", "slow"}, {"cmd", {{"method", "scanDevices"}}}})
                  .value["result"],
              Json::object());
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (requests("0xafc86f1a") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_GT(requests("0xafc86f1a"), 0u) << "the scheduled scan did not start";
    EXPECT_LT(requests("0xafc86f06"), wholeScan) << "the scan ended before quit was sent";
    ASSERT_TRUE(server->sendNotification("quit"));
    EXPECT_EQ(halvix->waitExit(120s), 0) << halvix->output();
    EXPECT_NE(halvix->output().find("Info | Halvix | Stopping all bricks"), std::string::npos) << halvix->output();
    EXPECT_EQ(requests("0xafc86f06"), wholeScan) << "Halvix stopped before its scan had ended";
}

TEST_F(ScanDevices, BytesTheLayoutsLeaveOpenChangeNoReport)
{
    // Every reply byte the records leave open (information-record gaps, property replies' first
    // words, the I/O-configuration head and record tails, pipe reply word 0, list padding) is
    // 0xA5 in the second scan; the report must not move by one byte. The rig's Ethernet devices
    // listen on fixed loopback addresses, which another simulator started by a test running beside
    // this one may hold: the test has a network of its own.
    IN_PRIVATE_NETWORK();
    ASSERT_TRUE(Vdapi::TestSupport::RunQuiet("ip link set lo up")) << "cannot bring up loopback";
    ASSERT_NO_FATAL_FAILURE(start(VdapiTest::ReferenceRig(), "127.0.67.31"));
    EXPECT_EQ(request("enableDteDeviceScan", {{"dteDeviceScanEnabled", true}}).value["result"], true);
    const std::string zeros = scan().dump();
    EXPECT_TRUE(sim->command("fill-open a5"));
    const std::string filled = scan().dump();
    EXPECT_GT(zeros.size(), 1000u);
    EXPECT_NE(zeros.find("\"3137000042\""), std::string::npos) << "the Ethernet devices are in the report";
    EXPECT_EQ(filled, zeros);
    quit();
}

/// The NIC part of the report, checked in a private network with a veth pair: nic0 with an
/// IPv4 address, nic1 without.
TEST(NicReport, AdaptersAreIpEntriesWithTheirStateAndSpeed)
{
    IN_PRIVATE_NETWORK();
    using Vdapi::TestSupport::RunQuiet;
    ASSERT_TRUE(RunQuiet("ip link set lo up") &&
                RunQuiet("ip link add nic1 address 02:00:5E:10:00:02 type veth peer name nic0 address "
                         "02:00:5E:10:00:01") &&
                RunQuiet("ip addr add 198.51.100.7/24 dev nic0") && RunQuiet("ip link set nic0 up") &&
                RunQuiet("ip link set nic1 up"))
        << "cannot make the veth pair";
    START_SIM(simulator, rig("asi_card.json"));
    gui::GuiServer gui("127.0.0.1");
    ASSERT_TRUE(gui.listen());
    HalvixProcess brick({"--server_address", "127.0.0.1", "--local_address", "127.0.0.1"});
    ASSERT_TRUE(brick.started() && gui.accept(gui::GuiServer::in(20s)) &&
                gui.nextNotification("newConnection", gui::GuiServer::in(20s)))
        << "halvix did not connect\n" << brick.output();
    auto scanIpEntries = [&](std::vector<OrderedJson>& ip) {
        ip.clear();
        const gui::GuiResult reply =
            gui.call("scanDevices", Json::object(), gui::GuiServer::in(kScanDeadline));
        const OrderedJson parsed = OrderedJson::parse(reply.text, nullptr, false);
        if (!reply || !parsed.is_object() || !parsed.contains("result"))
            return false;
        for (const OrderedJson& entry : parsed["result"])
            if (entry.value("type", "") == "IP")
                ip.push_back(entry);
        return true;
    };
    std::vector<OrderedJson> ip;
    EXPECT_TRUE(scanIpEntries(ip) && ip.empty()) << "no adapter entry before the NIC scan is enabled";
    const gui::GuiResult enabled =
        gui.call("enableNicDeviceScan", {{"nicDeviceScanEnabled", true}}, gui::GuiServer::in(20s));
    EXPECT_TRUE(enabled && enabled.value["result"] == true) << "enableNicDeviceScan";

    EXPECT_TRUE(scanIpEntries(ip)) << "scanDevices";
    ASSERT_EQ(ip.size(), 2u) << "one IP entry per adapter and none for the pseudo-adapter";
    const std::string speed = std::to_string(10000ull * 1000000ull); // a veth link reports 10000 Mbit/s
    EXPECT_EQ(ip[0]["deviceName"], "198.51.100.7");
    EXPECT_EQ(ip[0]["ipAddress"], "198.51.100.7");
    EXPECT_EQ(ip[0]["macAddress"], "02-00-5E-10-00-01");
    EXPECT_TRUE(ip[0]["category"] == "NIC" && ip[0]["typeNumber"] == 840) << ip[0].dump();
    EXPECT_EQ(ip[0]["isAvailable"], true);
    EXPECT_TRUE(ip[0]["transmissionSpeed"] == speed && ip[0]["receiveSpeed"] == speed) << ip[0].dump();
    EXPECT_TRUE(ip[1]["deviceName"] == "0.0.0.0" && ip[1]["macAddress"] == "02-00-5E-10-00-02") << ip[1].dump();

    // Down, an adapter is not available and reports no speed.
    ASSERT_TRUE(RunQuiet("ip link set nic1 down"));
    ASSERT_TRUE(scanIpEntries(ip) && ip.size() == 2) << "scan with nic1 down";
    EXPECT_TRUE(ip[1]["isAvailable"] == false && ip[1]["transmissionSpeed"] == "0") << ip[1].dump();
    EXPECT_TRUE(bool(gui.sendNotification("quit")));
    EXPECT_EQ(brick.waitExit(), 0) << brick.output();
}

} // namespace
