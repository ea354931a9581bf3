// The scan procedure on chosen records (entry order, the unannounced ASI ports, the "4K"
// groups) and the scan methods' replies: a failing scan keeps its entries and logs one line,
// the enable methods refuse bad parameters without touching the flag.
#include "app/DeviceScan.h"
#include "app/ScanMethods.h"

#include "devices/CapabilityTable.h"
#include "tests/log/CapturingLogger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Halvix::ReportList;
using kel::Json;
using Vdapi::HwFunctionDescriptor;

HwFunctionDescriptor portRecord(int32_t type, int64_t serial, int32_t port, const std::vector<std::string>& caps)
{
    HwFunctionDescriptor r;
    r.device.typeNumber = type;
    r.device.serial = serial;
    r.port = port;
    for (const std::string& name : caps)
        r.caps |= Vdapi::VdCaps(Vdapi::CapabilityIndex(name));
    return r;
}

Vdapi::DeviceDescriptor deviceRecord(int32_t type, int64_t serial)
{
    Vdapi::DeviceDescriptor d;
    d.typeNumber = type;
    d.serial = serial;
    return d;
}

/// "type deviceName" of each entry, for comparing orders at a glance.
std::vector<std::string> summary(const ReportList& list)
{
    std::vector<std::string> out;
    for (const Json& entry : list)
        out.push_back(entry["type"].get<std::string>() + " " + entry["deviceName"].get<std::string>());
    return out;
}

TEST(ScanProcedureTest, EachPortGivesItsEntriesInKindOrder)
{
    const std::vector<HwFunctionDescriptor> ports = {
        portRecord(124, 1, 1, {"SDI", "ASI", "INPUT"}),
        portRecord(2144, 2, 1, {"INPUT", "OUTPUT"}), // nothing to report
        portRecord(2180, 3, 3, {"SDI"}),
        portRecord(2180, 3, 4, {"INPUT", "MONITOR"}),
        portRecord(2180, 3, 5, {"ASI"}),
        portRecord(2182, 4, 4, {"SDI"}),
        portRecord(2182, 4, 5, {"ASI"}),
        portRecord(2182, 4, 6, {}),
        portRecord(9999, 5, 1, {"MOD", "SDI", "DEMOD", "IP", "ASI"}),
    };
    std::vector<int64_t> probed;
    ReportList list;
    Halvix::appendPortEntries(list, ports, [&](const HwFunctionDescriptor& r) {
        probed.push_back(r.device.serial * 100 + r.port);
        return r.port % 2 == 1;
    });
    EXPECT_EQ(summary(list), (std::vector<std::string>{
                                 "ASI VDA-124:1", "SDI VDA-124:1",
                                 "SDI VDA-2180:3", "ASI VDA-2180:4", "ASI VDA-2180:5",
                                 "SDI VDA-2182:4", "ASI VDA-2182:5", "ASI VDA-2182:5", "ASI VDA-2182:6",
                                 "ASI VDA-9999:1", "IP VDA-9999:1", "RF VDA-9999:1", "RF VDA-9999:1",
                                 "SDI VDA-9999:1"}));
    // The probe runs once per record, entries or not, and its answer goes into every entry.
    EXPECT_EQ(probed, (std::vector<int64_t>{101, 201, 303, 304, 305, 404, 405, 406, 501}));
    EXPECT_EQ(list[0]["isAvailable"], true);
    EXPECT_EQ(list[3]["isAvailable"], false);
    EXPECT_EQ(list[6], list[7]); // 2182 port 5 announces ASI and gets a second, identical entry
    EXPECT_EQ(list[11]["input"], true);  // receive RF before transmit RF
    EXPECT_EQ(list[12]["input"], false);
}

TEST(ScanProcedureTest, FourKGroupsFollowDeviceOrderAndTakeTheFirstFourMatches)
{
    std::vector<HwFunctionDescriptor> ports;
    for (int port = 1; port <= 12; ++port)
        ports.push_back(portRecord(2179, 7, port, {"INPUT", "OUTPUT", "SDI"}));
    // Card 8's ports 3, 1, 2, 4 with another card's port 1 among them, then a fifth match (ignored).
    for (auto [serial, port] : {std::pair{8, 3}, {9, 1}, {8, 1}, {8, 2}, {8, 4}})
        ports.push_back(portRecord(2174, serial, port, {"INPUT", "OUTPUT", "SDI"}));
    ports.push_back(portRecord(2174, 8, 4, {}));
    const std::vector<Vdapi::DeviceDescriptor> devices = {deviceRecord(2174, 8), deviceRecord(2144, 7),
                                                          deviceRecord(2179, 7), deviceRecord(2174, 10)};
    int probes = 0;
    ReportList list;
    Halvix::appendGroupEntries(list, devices, ports, [&](const HwFunctionDescriptor& r) {
        ++probes;
        return r.device.serial != 0;
    });
    EXPECT_EQ(summary(list), (std::vector<std::string>{"4K VDA-2174:3-4", "4K VDA-2179:1-4", "4K VDA-2179:5-8",
                                                       "4K VDA-2179:9-12", "4K VDA-2174:0-0"}));
    EXPECT_EQ(probes, 20);
    EXPECT_EQ(list[0]["input"], true);       // slots hold ports 3, 1, 2, 4 in list order
    EXPECT_EQ(list[0]["isAvailable"], true);
    EXPECT_EQ(list[3]["port"], 9);
    EXPECT_EQ(list[4]["isAvailable"], false); // a card whose ports were not listed
    EXPECT_EQ(list[4]["input"], false);
}

TEST(ScanProcedureTest, AFailingScanRepliesWithWhatWasBuiltAndLogsOneLine)
{
    const std::vector<HwFunctionDescriptor> ports = {portRecord(2144, 1, 1, {"ASI"}), portRecord(2144, 1, 2, {"ASI"}),
                                                     portRecord(2144, 1, 3, {"ASI"}), portRecord(2144, 1, 4, {"ASI"})};
    const Halvix::ScanFunction failOnThird = [&](ReportList& list) {
        Halvix::appendPortEntries(list, ports, [](const HwFunctionDescriptor& r) {
            if (r.port == 3)
                throw std::runtime_error("port 3 vanished");
            return true;
        });
    };
    CapturingLogger logger;
    const Json reply = Halvix::answerScanDevices(Json{{"jsonrpc", "2.0"}, {"id", 42}, {"method", "scanDevices"}},
                                                 failOnThird, logger);
    EXPECT_EQ(reply["id"], 42);
    ASSERT_TRUE(reply["result"].is_array());
    EXPECT_EQ(reply["result"].size(), 2u);
    EXPECT_EQ(reply["result"][1]["port"], 2);
    EXPECT_EQ(logger.count(LogLevel::Error, "", "Failed to scan devices. Error: port 3 vanished"), 1u);
    EXPECT_EQ(logger.messages().size(), 1u);

    // A scan that finds nothing replies with an empty array, and logs nothing.
    const Json empty = Halvix::answerScanDevices(Json{{"id", 3}}, [](ReportList&) {}, logger);
    EXPECT_EQ(empty.dump(), R"({"id":3,"jsonrpc":"2.0","result":[]})");
    EXPECT_EQ(logger.messages().size(), 1u);

    // What is not a std::exception is not the scan's to handle.
    EXPECT_THROW(Halvix::answerScanDevices(Json{{"id", 4}}, [](ReportList&) { throw 7; }, logger), int);
}

TEST(ScanProcedureTest, EnableMethodsStoreABooleanAndRefuseAnythingElse)
{
    std::atomic<bool> flag{false};
    const auto request = [](const Json& params) {
        return Json{{"jsonrpc", "2.0"}, {"id", 5}, {"method", "enableNicDeviceScan"}, {"params", params}};
    };
    const auto set = [&](const Json& value) {
        return Halvix::answerEnableScan(request({{"nicDeviceScanEnabled", value}}), "nicDeviceScanEnabled", flag);
    };
    EXPECT_EQ(set(true), Json::parse(R"({"jsonrpc":"2.0","id":5,"result":true})"));
    EXPECT_TRUE(flag.load());
    // Setting the value it already has succeeds.
    EXPECT_EQ(set(true)["result"], true);

    const std::vector<Json> refused = {
        request({{"nicDeviceScanEnabled", "false"}}), request({{"nicDeviceScanEnabled", 0}}),
        request({{"dteDeviceScanEnabled", false}}), request(Json::array({false})), Json{{"id", 6}}};
    for (const Json& bad : refused) {
        EXPECT_THROW(Halvix::answerEnableScan(bad, "nicDeviceScanEnabled", flag), std::invalid_argument) << bad.dump();
        EXPECT_TRUE(flag.load()) << bad.dump();
    }
    EXPECT_THAT([&] { set("no"); }, testing::ThrowsMessage<std::invalid_argument>(testing::StrEq(
                                        "nicDeviceScanEnabled option is missing or is not bool type: \"\"no\"\"")));
    EXPECT_EQ(set(false)["result"], false);
    EXPECT_FALSE(flag.load());
}

} // namespace
