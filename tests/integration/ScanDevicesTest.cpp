// "scanDevices" and the enable methods over the wire: the real halvix against the simulator,
// each report rule checked on the reply text as it arrived (key order, number forms).
#include "GuiAndHalvix.h"

#include "tests/support/PrivateNetwork.h"
#include "tests/support/SimQuery.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;
using namespace std::chrono_literals;

// A scan probes every port through the simulator; the reference rig takes tens of seconds in
// an unoptimised or sanitised build.
constexpr auto kScanDeadline = 240s;

class ScanDevices : public integration::GuiAndHalvix {
protected:
    /// Simulator with `rigPath`, a GUI server on `address`, halvix connected to it.
    void start(const std::string& rigPath, const std::string& address)
    {
        sim = std::make_unique<test::SimProcess>(rigPath);
        ASSERT_TRUE(sim->ready()) << sim->error();
        sim->exportRunDir(); // the halvix started next inherits it
        connect(address, {"--local_address", address});
    }

    /// The report of one "scanDevices", parsed from the reply text with its key order kept.
    OrderedJson scan()
    {
        const gui::GuiResult reply = call("scanDevices", Json::object(), kScanDeadline);
        const OrderedJson parsed = OrderedJson::parse(reply.text, nullptr, false);
        EXPECT_TRUE(parsed.is_object() && parsed.contains("result") && parsed["result"].is_array()) << reply.text;
        return parsed.is_object() && parsed.contains("result") ? parsed["result"] : OrderedJson();
    }

    /// Driver requests of one kind served since the last reset.
    uint64_t requests(const std::string& kind) { return VdapiTest::Counters(*sim)[kind]; }

    std::unique_ptr<test::SimProcess> sim;
};

TEST_F(ScanDevices, ReferenceRigReportKeepsItsWireFormAndIgnoresBytesTheLayoutsLeaveOpen)
{
    // The rig's Ethernet devices listen on fixed loopback addresses, which another simulator
    // started by a test running beside this one may hold: the test has a network of its own.
    IN_PRIVATE_NETWORK();
    ASSERT_TRUE(Vdapi::TestSupport::RunQuiet("ip link set lo up")) << "cannot bring up loopback";
    ASSERT_NO_FATAL_FAILURE(start(VdapiTest::ReferenceRig(), "127.0.67.31"));
    EXPECT_EQ(call("enableDteDeviceScan", {{"dteDeviceScanEnabled", true}}).value["result"], true);
    const OrderedJson report = scan();
    ASSERT_GT(report.size(), 40u);

    // Every entry as it came over the wire: keys in ascending order (the text is the one a sorted
    // object gives; each kind's exact key set is DeviceReportTest), serial as decimal text,
    // integers; the 4K groups close the report. How each port's entries are ordered and named is
    // ScanProcedureTest and DeviceReportTest.
    EXPECT_EQ(report.dump(), Json::parse(report.dump()).dump()) << "keys out of ascending order";
    std::vector<std::string> groups;
    for (const OrderedJson& entry : report) {
        EXPECT_TRUE(entry["typeNumber"].is_number_integer()) << entry.dump();
        EXPECT_TRUE(entry["port"].is_number_integer()) << entry.dump();
        ASSERT_TRUE(entry["serial"].is_string()) << entry.dump();
        const std::string serial = entry["serial"];
        EXPECT_EQ(serial, std::to_string(std::stoll(serial))) << entry.dump();
        // Every serial of the reference rig begins with its card's type number.
        EXPECT_EQ(serial.rfind(std::to_string(entry["typeNumber"].get<int>()), 0), 0u) << entry.dump();
        if (entry["type"] == "4K")
            groups.push_back(entry["deviceName"]);
        else
            EXPECT_TRUE(groups.empty()) << "per-port entry after a 4K entry: " << entry.dump();
    }
    EXPECT_EQ(groups, (std::vector<std::string>{"VDA-2179:1-4", "VDA-2179:5-8", "VDA-2179:9-12", "VDA-2174:1-4"}));
    EXPECT_NE(report.dump().find("\"3137000042\""), std::string::npos) << "the Ethernet devices are in the report";

    // Every reply byte the records leave open (information-record gaps, property replies' first
    // words, the I/O-configuration head and record tails, pipe reply word 0, list padding) is
    // 0xA5 in the second scan; the report must not move by one byte.
    EXPECT_TRUE(sim->command("fill-open a5"));
    EXPECT_EQ(scan().dump(), report.dump());
    quitAndExpectExitCode0();
}

TEST_F(ScanDevices, QuitDuringAScheduledScanWaitsForItAndExitsCleanly)
{
    ASSERT_NO_FATAL_FAILURE(start(test::sourcePath("tests/integration/rigs/asi_card.json"), "127.0.67.9"));
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
    call("schedule", {{"time", now}, {"scheduleId", "slow"}, {"cmd", {{"method", "scanDevices"}}}});
    ASSERT_TRUE(waitUntil([&] { return requests("0xafc86f1a") > 0; }, 60s)) << "the scheduled scan did not start";
    EXPECT_LT(requests("0xafc86f06"), wholeScan) << "the scan ended before quit was sent";
    ASSERT_TRUE(server->sendNotification("quit"));
    EXPECT_EQ(halvix->wait(120s), 0) << halvix->output();
    EXPECT_EQ(requests("0xafc86f06"), wholeScan) << "Halvix stopped before its scan had ended";
}

} // namespace
