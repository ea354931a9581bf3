// One "scanDevices" over the real binaries: halvix against vdsim with the reference rig (no
// Ethernet devices, no network adapters), asked by a GUI server on a loopback address. Reports
// the time of each scan (median of the repetitions) and the driver requests one scan makes, from
// the simulator's counters.
#include "tests/devices/core/SimProcess.cpp"
#include "tests/integration/HalvixProcess.h"
#include "tests/tools/ChildProcess.h"
#include "tools/gui/GuiServer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr const char* kBenchAddress = "127.0.68.2";

/// The simulator, halvix and the connected GUI server, for the whole run.
struct ScanRig {
    std::unique_ptr<VdapiTest::SimProcess> sim;
    std::unique_ptr<gui::GuiServer> server;
    std::unique_ptr<integration::HalvixProcess> halvix;
    std::string error;

    ScanRig()
    {
        sim = std::make_unique<VdapiTest::SimProcess>(std::string(HALVIX_SOURCE_DIR) + "/sim/rigs/reference.json");
        if (!sim->Ready()) {
            error = "vdsim: " + sim->Error();
            return;
        }
        server = std::make_unique<gui::GuiServer>(kBenchAddress);
        if (const auto listening = server->listen(); !listening) {
            error = "listen: " + listening.message;
            return;
        }
        halvix = std::make_unique<integration::HalvixProcess>(
            std::vector<std::string>{"--server_address", kBenchAddress, "--local_address", kBenchAddress});
        const auto accepted = server->accept(gui::GuiServer::in(std::chrono::seconds(20)));
        if (!accepted || !server->nextNotification("newConnection", gui::GuiServer::in(std::chrono::seconds(20)))) {
            error = "halvix did not connect: " + accepted.message;
            return;
        }
    }
    ~ScanRig()
    {
        if (server && server->isConnected() && server->sendNotification("quit"))
            halvix->waitExit();
    }

    /// Runs vdsimctl with `command`; its answer.
    std::string control(const std::string& command) const
    {
        test::ChildProcess ctl(VDSIMCTL_BIN, {"--run-dir", sim->RunDir(), command});
        ctl.wait();
        return ctl.output();
    }

    /// Driver requests (kinds 0x...) since the last reset.
    long driverRequests() const
    {
        std::istringstream words(control("counters"));
        std::string word;
        long total = 0;
        while (words >> word) {
            const size_t equals = word.find('=');
            if (word.rfind("0x", 0) == 0 && equals != std::string::npos)
                total += std::stol(word.substr(equals + 1));
        }
        return total;
    }
};

ScanRig& scanRig()
{
    static ScanRig rig;
    return rig;
}

void BM_ScanDevicesReferenceRig(benchmark::State& state)
{
    ScanRig& rig = scanRig();
    if (!rig.error.empty()) {
        state.SkipWithError(rig.error.c_str());
        return;
    }
    long requests = 0;
    size_t entries = 0;
    for (auto _ : state) {
        rig.control("counters reset");
        const auto begin = std::chrono::steady_clock::now();
        const gui::GuiResult reply =
            rig.server->call("scanDevices", nlohmann::json::object(), gui::GuiServer::in(std::chrono::minutes(5)));
        const auto end = std::chrono::steady_clock::now();
        if (!reply || !reply.value.contains("result") || !reply.value["result"].is_array()) {
            state.SkipWithError(("scanDevices failed: " + reply.message).c_str());
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
        requests = rig.driverRequests();
        entries = reply.value["result"].size();
    }
    state.counters["driver_requests"] = double(requests);
    state.counters["entries"] = double(entries);
}

BENCHMARK(BM_ScanDevicesReferenceRig)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
