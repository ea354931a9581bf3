// One "scanDevices" over the real binaries: halvix against vdsim, asked by a GUI server on a
// loopback address, without Ethernet devices or network adapters. Every rig is scanned by
// halvix processes with the per-scan property cache and without it (VDAPI_SCAN_CACHE=off), each against a driver that answers request batches and against one that refuses
// them as the real drivers do ("vdsimctl batches off"); a third halvix keeps the cache and moves
// busy driver handles to shared-memory request slots. Rigs: the reference rig and a large rig
// of about 50 devices written by the benchmark from the reference rig's cards.
//
// Per configuration it reports the scan time (manual time, aggregates over --scans scans) and,
// from the simulator's counters, the driver requests and driver opens of one scan. A summary
// table at the end gives the requests per port and the ratio of the scan without batches to the
// scan with them.
#include "tests/support/SimProcess.h"
#include "tests/support/ChildProcess.h"
#include "tools/gui/GuiServer.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::json;

/// The large rig: every card of the reference rig twice, and ten more copies each of its
/// twelve-port card (type 2179) and of its one-port card (type 2115), so that its ports are spread
/// over devices differently from the reference rig's: a cost that grows with ports times ports
/// per device shows up as more requests per port than on the reference rig.
int copiesOf(int64_t type)
{
    return type == 2179 || type == 2115 ? 12 : 2;
}

/// Writes the large rig into `dir`: copies of the reference rig's PCI and USB devices, each copy on
/// other buses, USB addresses and serials; no Ethernet devices.
std::string writeLargeRig(const std::string& dir)
{
    std::ifstream in(std::string(HALVIX_SOURCE_DIR) + "/sim/rigs/reference.json");
    const Json reference = Json::parse(in);
    Json rig = reference;
    rig["devices"] = Json::array();
    for (const Json& original : reference["devices"]) {
        for (int copy = 0; copy < copiesOf(original["type"].get<int64_t>()); ++copy) {
            Json device = original;
            device["serial"] = original["serial"].get<int64_t>() + copy * 1000;
            if (device.contains("bus"))
                device["bus"] = original["bus"].get<int>() + copy * 16;
            if (device.contains("usbAddress"))
                device["usbAddress"] = original["usbAddress"].get<int>() + copy * 10;
            rig["devices"].push_back(device);
        }
    }
    rig["service"]["devices"] = Json::array();
    const std::string path = dir + "/large-rig.json";
    std::ofstream(path) << rig.dump(1);
    return path;
}

/// How halvix reaches the driver and what it keeps: the property cache on or off, and requests
/// on the driver socket or, from the 20th request of a handle on, in a shared-memory request slot
/// (VDAPI_DRIVER_FAST=20), whose cost per request is nearer a kernel call's.
enum class Client { Cached, Uncached, CachedSlot };
constexpr Client kClients[] = {Client::Cached, Client::Uncached, Client::CachedSlot};

std::vector<std::string> environmentOf(Client client)
{
    switch (client) {
    case Client::Cached:
        return {"VDAPI_SCAN_CACHE=on"};
    case Client::Uncached:
        return {"VDAPI_SCAN_CACHE=off"};
    case Client::CachedSlot:
        return {"VDAPI_SCAN_CACHE=on", "VDAPI_DRIVER_FAST=20"};
    }
    return {};
}

/// One halvix process and the GUI server it dialled.
struct Brick {
    std::unique_ptr<gui::GuiServer> server;
    std::unique_ptr<test::ChildProcess> halvix;

    Brick(const std::string& runDir, const std::string& address, Client client, std::string& error)
    {
        server = std::make_unique<gui::GuiServer>(address);
        if (const auto listening = server->listen(); !listening) {
            error = "listen on " + address + ": " + listening.message;
            return;
        }
        std::vector<std::string> argv{"/usr/bin/env", "VDAPI_RUN_DIR=" + runDir};
        for (const std::string& setting : environmentOf(client))
            argv.push_back(setting);
        for (const std::string& arg : {std::string(HALVIX_BIN), std::string("--server_address"), address,
                                       std::string("--local_address"), address})
            argv.push_back(arg);
        halvix = std::make_unique<test::ChildProcess>(argv, test::ChildProcess::Streams::Merged);
        const auto accepted = server->accept(gui::GuiServer::in(std::chrono::seconds(20)));
        if (!accepted ||
            !server->nextNotification("newConnection", gui::GuiServer::in(std::chrono::seconds(20))))
            error = "halvix on " + address + " did not connect: " + accepted.message;
    }
    ~Brick()
    {
        if (server && server->isConnected() && server->sendNotification("quit"))
            halvix->wait(std::chrono::seconds(20));
    }
};

/// A simulator with one rig and one brick per client kind.
struct ScanRig {
    std::unique_ptr<test::SimProcess> sim;
    std::map<Client, std::unique_ptr<Brick>> bricks;
    std::string error;

    /// The bricks listen on 127.0.68.`firstHost` and the addresses after it.
    ScanRig(const std::string& rigPath, int firstHost)
    {
        sim = std::make_unique<test::SimProcess>(rigPath);
        if (!sim->ready()) {
            error = "vdsim: " + sim->error();
            return;
        }
        sim->exportRunDir();
        for (Client client : kClients) {
            const std::string address = "127.0.68." + std::to_string(firstHost++);
            bricks[client] = std::make_unique<Brick>(sim->runDir(), address, client, error);
            if (!error.empty())
                return;
        }
    }

    /// Runs vdsimctl with `command`; its answer.
    std::string control(const std::string& command) const
    {
        test::ChildProcess ctl(VDSIMCTL_BIN, {"--run-dir", sim->runDir(), command});
        ctl.wait();
        return ctl.output();
    }

    /// Driver requests (kinds 0x...) and driver opens since the last reset.
    std::pair<long, long> driverCounters() const
    {
        std::istringstream words(control("counters"));
        std::string word;
        long requests = 0, opens = 0;
        while (words >> word) {
            const size_t equals = word.find('=');
            if (equals == std::string::npos)
                continue;
            if (word.rfind("0x", 0) == 0)
                requests += std::stol(word.substr(equals + 1));
            else if (word.compare(0, equals, "open") == 0)
                opens = std::stol(word.substr(equals + 1));
        }
        return {requests, opens};
    }
};

/// What one configuration measured, for the summary.
struct Measured {
    std::vector<double> seconds;
    long requests = 0, opens = 0;
    size_t entries = 0, ports = 0, devices = 0, portPairs = 0;
};

struct Configuration {
    std::string rig;
    Client client = Client::Cached;
    bool batches = true;
    const char* cache() const { return client == Client::Uncached ? "off" : "on"; }
    const char* transport() const { return client == Client::CachedSlot ? "slot" : "socket"; }
    std::string name() const
    {
        return "ScanDevices/" + rig + "/cache:" + cache() + "/transport:" + transport() +
               "/batches:" + (batches ? "on" : "off");
    }
};

std::map<std::string, Measured>& results()
{
    static std::map<std::string, Measured> all;
    return all;
}

/// The rigs are started when first needed and kept for the whole run.
ScanRig& rigNamed(const std::string& name)
{
    static TempDir dir; // outlives the rigs, which are made after it
    static std::map<std::string, std::unique_ptr<ScanRig>> rigs;
    auto& rig = rigs[name];
    if (!rig) {
        if (name == "reference")
            rig = std::make_unique<ScanRig>(std::string(HALVIX_SOURCE_DIR) + "/sim/rigs/reference.json", 2);
        else
            rig = std::make_unique<ScanRig>(writeLargeRig(dir.path()), 2 + int(std::size(kClients)));
    }
    return *rig;
}

void scanOnce(benchmark::State& state, const Configuration& config)
{
    ScanRig& rig = rigNamed(config.rig);
    if (!rig.error.empty()) {
        state.SkipWithError(rig.error.c_str());
        return;
    }
    rig.control(config.batches ? "batches on" : "batches off");
    gui::GuiServer& server = *rig.bricks.at(config.client)->server;
    Measured& measured = results()[config.name()];
    for (auto _ : state) {
        rig.control("counters reset");
        const auto begin = std::chrono::steady_clock::now();
        const gui::GuiResult reply =
            server.call("scanDevices", Json::object(), gui::GuiServer::in(std::chrono::minutes(5)));
        const auto end = std::chrono::steady_clock::now();
        if (!reply || !reply.value.contains("result") || !reply.value["result"].is_array()) {
            state.SkipWithError(("scanDevices failed: " + reply.message).c_str());
            return;
        }
        const double seconds = std::chrono::duration<double>(end - begin).count();
        state.SetIterationTime(seconds);
        measured.seconds.push_back(seconds);
        std::tie(measured.requests, measured.opens) = rig.driverCounters();
        const Json& report = reply.value["result"];
        std::map<std::string, std::set<int>> portsOf; // serial -> its ports in the report
        for (const Json& entry : report)
            portsOf[entry.value("serial", "")].insert(entry.value("port", -1));
        measured.entries = report.size();
        measured.devices = portsOf.size();
        measured.ports = measured.portPairs = 0;
        for (const auto& [serial, ports] : portsOf) {
            measured.ports += ports.size();
            measured.portPairs += ports.size() * ports.size();
        }
    }
    state.counters["driver_requests"] = double(measured.requests);
    state.counters["driver_opens"] = double(measured.opens);
    state.counters["ports"] = double(measured.ports);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void printSummary(const std::vector<Configuration>& configurations)
{
    std::printf("\n%-9s %-5s %-9s %-7s %7s %5s %10s %7s %10s %9s %7s %13s\n", "rig", "cache", "transport",
                "batches", "devices", "ports", "ports*ppd", "entries", "median ms", "requests", "opens",
                "requests/port");
    for (const Configuration& config : configurations) {
        const Measured& m = results()[config.name()];
        if (m.seconds.empty())
            continue;
        std::printf("%-9s %-5s %-9s %-7s %7zu %5zu %10zu %7zu %10.1f %9ld %7ld %13.1f\n", config.rig.c_str(),
                    config.cache(), config.transport(), config.batches ? "on" : "off", m.devices, m.ports,
                    m.portPairs, m.entries, median(m.seconds) * 1000, m.requests, m.opens,
                    m.ports ? double(m.requests) / double(m.ports) : 0.0);
    }
    std::printf("\n(ports*ppd: the sum over devices of ports x ports of that device)\n"
                "scan without batches / scan with batches (medians):\n");
    for (const char* rig : {"reference", "large"})
        for (Client client : kClients) {
            const Measured& on = results()[Configuration{rig, client, true}.name()];
            const Measured& off = results()[Configuration{rig, client, false}.name()];
            if (!on.seconds.empty() && !off.seconds.empty())
                std::printf("  %-9s cache %-3s %-6s %.2f\n", rig, Configuration{rig, client, true}.cache(),
                            Configuration{rig, client, true}.transport(), median(off.seconds) / median(on.seconds));
        }
}

} // namespace

int main(int argc, char** argv)
{
    // --scans N: scans per configuration (default 5), taken out before the library's options.
    int scans = 5;
    std::vector<char*> kept;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scans" && i + 1 < argc)
            scans = std::max(1, std::atoi(argv[++i]));
        else if (arg.rfind("--scans=", 0) == 0)
            scans = std::max(1, std::atoi(arg.c_str() + 8));
        else
            kept.push_back(argv[i]);
    }
    int keptCount = int(kept.size());
    std::vector<Configuration> configurations;
    for (const char* rig : {"reference", "large"})
        for (Client client : kClients)
            for (bool batches : {true, false})
                configurations.push_back({rig, client, batches});
    for (const Configuration& config : configurations)
        benchmark::RegisterBenchmark(config.name().c_str(),
                                     [config](benchmark::State& state) { scanOnce(state, config); })
            ->Iterations(1)
            ->Repetitions(scans)
            ->ReportAggregatesOnly(true)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&keptCount, kept.data());
    if (benchmark::ReportUnrecognizedArguments(keptCount, kept.data()))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    printSummary(configurations);
    benchmark::Shutdown();
    return 0;
}
