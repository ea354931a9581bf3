// The per-scan memory against the real simulator: the same report with and without it on every
// rig and under injected faults, far fewer driver requests with it, and nothing it keeps that
// could make an answer stale (held ports, failed look-ups, a replaced device).
#include "app/DeviceScan.h"
#include "app/PortProbe.h"

#include "devices/ScanSession.h"
#include "devices/VdDevice.h"
#include "tests/support/SimQuery.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using Halvix::ReportList;
using VdapiTest::Counters;
using test::SimProcess;

constexpr const char* kPropertyKind = "0xafc86f1a"; // PCIe property look-up

/// One whole scan as "scanDevices" runs it (cards only), as JSON text; the process setting of
/// the scan cache is `cached` for this scan only.
std::string scanReport(bool cached, const Halvix::PortProbe& probe = Halvix::isPortAvailable)
{
    const bool before = Vdapi::ScanSession::DefaultEnabled();
    Vdapi::ScanSession::SetDefaultEnabled(cached);
    ReportList list;
    Halvix::scanDevices(list, false, false, probe);
    Vdapi::ScanSession::SetDefaultEnabled(before);
    return kel::Json(list).dump();
}

uint64_t driverRequests(const SimProcess& sim)
{
    uint64_t total = 0;
    for (const auto& [kind, n] : Counters(sim))
        if (kind.rfind("0x", 0) == 0)
            total += n;
    return total;
}

/// Every rig file of the simulator and of the tests, except the Ethernet devices' (they need a
/// private network: VdeScanReport compares their report with and without the memory).
std::vector<std::string> allRigs()
{
    std::vector<std::string> rigs;
    for (const char* dir : {"/sim/rigs", "/tests"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(HALVIX_SOURCE_DIR) + dir)) {
            const std::string path = entry.path().string();
            if (entry.path().extension() == ".json" && path.find("/rigs/") != std::string::npos &&
                path.find("/vde/") == std::string::npos)
                rigs.push_back(path);
        }
    }
    return rigs;
}

TEST(ScanSession, EveryRigGivesTheSameReportWithFewerRequests)
{
    const std::vector<std::string> rigs = allRigs();
    ASSERT_GE(rigs.size(), 15u);
    for (const std::string& rig : rigs) {
        SCOPED_TRACE(rig);
        START_SIM(sim, rig);
        ASSERT_TRUE(sim.command("counters reset"));
        const std::string fresh = scanReport(false);
        const uint64_t freshRequests = driverRequests(sim);
        const uint64_t freshOpens = Counters(sim)["open"];
        ASSERT_TRUE(sim.command("counters reset"));
        const std::string cached = scanReport(true);
        const uint64_t cachedRequests = driverRequests(sim);
        const uint64_t cachedOpens = Counters(sim)["open"];
        EXPECT_EQ(cached, fresh);
        EXPECT_LE(cachedRequests, freshRequests);
        EXPECT_LE(cachedOpens, freshOpens);
        // A USB driver older than 4.8 refuses every attach of its devices: the port scan answers
        // VDAPI_E_DRIVER_INCOMP instead of a count, which hides the PCIe card's ports too.
        if (rig.ends_with("/old_usb_driver.json")) {
            EXPECT_EQ(fresh, "[]");
        }
        if (rig == VdapiTest::ReferenceRig()) {
            // Each device's fixed properties once per scan, each device opened where it was found.
            EXPECT_LE(cachedRequests, 20000u) << "without the cache: " << freshRequests;
            EXPECT_LE(cachedOpens, 400u) << "without the cache: " << freshOpens;
            // The real cards reach the report: a PCIe port with ASI and SDI, a USB port, a USB receiver.
            std::vector<std::string> cards;
            for (const kel::Json& entry : kel::Json::parse(fresh))
                if (entry["deviceName"] == "VDA-124:1" || entry["deviceName"] == "VDU-215:1" ||
                    entry["deviceName"] == "VDU-238:1")
                    cards.push_back(entry["type"].get<std::string>() + " " + entry["deviceName"].get<std::string>() +
                                    " " + entry["serial"].get<std::string>() + (entry["input"] == true ? " in" : " out") +
                                    (entry["isAvailable"] == true ? " free" : " busy"));
            EXPECT_EQ(cards, (std::vector<std::string>{"ASI VDA-124:1 124001111 in free", "SDI VDA-124:1 124001111 in free",
                                                       "ASI VDU-215:1 215001313 in free", "RF VDU-238:1 238001414 in free"}));
        }
    }
}

TEST(ScanSession, InjectedFaultsEndTheSameWayWithAndWithoutTheCache)
{
    START_SIM(sim, VdapiTest::ReferenceRig());
    const std::string clean = scanReport(true);
    // Faults on the first requests of a kind hit the same request with or without the cache:
    // the scan's first listing asks everything afresh either way, and a failure is never kept.
    // What a scan leaves of a fault is cleared before the next scan.
    const std::vector<std::pair<std::string, std::string>> faults = {
        {"fail", std::string(kPropertyKind) + " 1 31"},  {"fail", std::string(kPropertyKind) + " 200 1450"},
        {"corrupt", std::string(kPropertyKind) + " 1"}, {"fail", "0xb02c712a 2 31"},
        {"fail", "0xb1bc7706 5 31"},                     {"fail", "0xafc86f06 3 31"},
        {"fail", "0xb1bc76b6 1 31"}};
    for (const auto& [command, args] : faults) {
        const std::string fault = command + " " + args;
        const std::string kind = args.substr(0, args.find(' '));
        const std::string clear = command == "fail" ? "fail " + kind + " 0 0" : "corrupt " + kind + " 0";
        SCOPED_TRACE(fault);
        ASSERT_TRUE(sim.command(fault));
        const std::string fresh = scanReport(false);
        ASSERT_TRUE(sim.command(clear));
        ASSERT_TRUE(sim.command(fault));
        EXPECT_EQ(scanReport(true), fresh);
        ASSERT_TRUE(sim.command(clear));
        EXPECT_NE(fresh, clean) << "the fault changed nothing";
    }
    // What failed is not remembered by the next scan.
    EXPECT_EQ(scanReport(true), clean);
}

TEST(ScanSession, AFailedLookUpIsAskedAgainAndAnAnswerIsNot)
{
    START_SIM(sim, VdapiTest::ReferenceRig());
    constexpr int64_t kCard = 2144000101;
    const Vdapi::ScanSession session;
    ASSERT_NE(Vdapi::ScanSession::Current(), nullptr);

    // The first look-up (PORT_COUNT) fails: the attach fails, and nothing of it is kept.
    ASSERT_TRUE(sim.command(std::string("fail ") + kPropertyKind + " 1 31"));
    Vdapi::VdDeviceInt device;
    EXPECT_EQ(device.AttachBySerial(kCard, false), Vdapi::VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_EQ(device.AttachBySerial(kCard, false), Vdapi::VDAPI_OK);
    Vdapi::DeviceDescriptor descriptor;
    ASSERT_EQ(device.GetDescriptor(descriptor), Vdapi::VDAPI_OK);
    const int ports = descriptor.numHwFuncs;
    ASSERT_GT(ports, 0);
    const Vdapi::VdCaps caps = device.CachedPort(1)->caps;
    EXPECT_FALSE(caps.IsEmpty());
    device.Detach();

    // A second attach in the same session reads no property again and knows the same ports.
    ASSERT_TRUE(sim.command("counters reset"));
    EXPECT_EQ(device.AttachBySerial(kCard, false), Vdapi::VDAPI_OK);
    EXPECT_EQ(Counters(sim)[kPropertyKind], 0u);
    ASSERT_EQ(device.GetDescriptor(descriptor), Vdapi::VDAPI_OK);
    EXPECT_EQ(descriptor.numHwFuncs, ports);
    EXPECT_EQ(device.CachedPort(1)->caps, caps);
    device.Detach();

    // Gone meanwhile, the device cannot be attached, whatever the session knows of it.
    ASSERT_TRUE(sim.command("unplug " + std::to_string(kCard)));
    EXPECT_EQ(device.AttachBySerial(kCard, false), Vdapi::VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_GT(session.Statistics().propertyHits, 0);
}

TEST(ScanSession, APortHeldBetweenTwoProbesOfOneScanIsBusy)
{
    START_SIM(sim, std::string(HALVIX_SOURCE_DIR) + "/tests/integration/rigs/asi_card.json");
    std::vector<bool> free;
    const std::string report = scanReport(true, [&](const Vdapi::HwFunctionDescriptor& record) {
        const bool available = Halvix::isPortAvailable(record);
        if (record.port == 1) {
            EXPECT_TRUE(sim.command("hold 2144000903 2"));
        }
        free.push_back(available);
        return available;
    });
    EXPECT_EQ(free, (std::vector<bool>{true, false, true, true})) << report;
}

TEST(ScanSession, ADeviceReplacedUnderTheSameSerialBetweenScansShowsItsOwnPorts)
{
    const TempDir dir;
    const auto rigOf = [&](const std::string& name, int type) {
        return dir.write(name, R"({"drivers": {"pcie": {"version": "1.3.1.0"}}, "devices": [{"type": )" +
                                   std::to_string(type) + R"(, "serial": 77000001, "bus": 3}]})");
    };
    std::string before, after;
    {
        START_SIM(sim, rigOf("before.json", 2144));
        before = scanReport(true);
    }
    {
        START_SIM(sim, rigOf("after.json", 2132));
        after = scanReport(true);
        EXPECT_EQ(after, scanReport(false));
    }
    EXPECT_NE(before.find("VDA-2144:4"), std::string::npos) << before;
    EXPECT_EQ(after.find("VDA-2144"), std::string::npos) << after;
    EXPECT_NE(after.find("VDA-2132:1"), std::string::npos) << after;
}

} // namespace
