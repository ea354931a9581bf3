// Does a busy `halvixctl serve` slow a brick's scan? The real halvix on vdsim with the reference
// rig, connected to halvixctl serve; scans through the API back to back for 2 x S seconds, in
// stretches alone and stretches while N clients poll the API (the brick list and the brick's
// inventory, each client every P ms) for S seconds in all.
// Prints the median scan time both ways, measured by serve around "scanDevices" (the brick's
// scan) and by the client around the POST (what a user waits), and the slowdown.
//
//   bench_ServeBench [--seconds S] [--clients N] [--interval-ms P]   (defaults 10, 50, 100)
#include "tests/support/SimProcess.h"
#include "tests/integration/HalvixProcess.h"
#include "tests/tools/ServeProcess.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kAddress = "127.0.92.1";

struct Scans {
    std::vector<double> serveMs;  // "lastScanMs": the brick's scan as serve timed it
    std::vector<double> clientMs; // the POST as the client waited for it
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

/// CPU seconds (user and system) that process `pid` has used so far; 0 when unreadable.
double cpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')');
    if (end == std::string::npos)
        return 0;
    std::istringstream fields(line.substr(end + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            user = std::stoull(field);
        if (i == 15) {
            system = std::stoull(field);
            break;
        }
    }
    return double(user + system) / double(::sysconf(_SC_CLK_TCK));
}

/// One scan through the API; false when it failed.
bool scanOnce(const test::ServeProcess& serve, Scans& scans)
{
    const auto begin = Clock::now();
    const test::ApiReply reply = serve.post("/api/bricks/1/scan");
    const double clientMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    if (reply.status != 200 || !reply.json.is_array() || reply.json.size() != 62) {
        std::fprintf(stderr, "scan failed: %d %s\n", reply.status, reply.body.substr(0, 200).c_str());
        return false;
    }
    const nlohmann::json brick = serve.get("/api/bricks/1").json;
    scans.serveMs.push_back(brick.value("lastScanMs", 0.0));
    scans.clientMs.push_back(clientMs);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 10;
    int clients = 50;
    int intervalMs = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (arg == "--clients")
            clients = std::atoi(argv[i + 1]);
        else if (arg == "--interval-ms")
            intervalMs = std::atoi(argv[i + 1]);
    }

    test::ServeProcess serve(kAddress, 8080);
    if (!serve.ready()) {
        std::fprintf(stderr, "halvixctl serve did not start: %s\n", serve.process().errors().c_str());
        return 1;
    }
    test::SimProcess sim(std::string(HALVIX_SOURCE_DIR) + "/sim/rigs/reference.json");
    if (!sim.ready()) {
        std::fprintf(stderr, "vdsim: %s\n", sim.error().c_str());
        return 1;
    }
    sim.exportRunDir();
    integration::HalvixProcess halvix({"--server_address", kAddress, "--local_address", kAddress});
    const nlohmann::json listed = serve.waitForBricks(
        [](const nlohmann::json& list) { return list.size() == 1 && list[0]["state"] == "idle"; });
    if (listed.size() != 1) {
        std::fprintf(stderr, "halvix did not connect: %s\n", halvix.output().c_str());
        return 1;
    }

    Scans warmUp, idle, loaded;
    scanOnce(serve, warmUp);

    // Quiet and polled stretches alternate, so that drift and whatever else the machine runs
    // weigh on both alike; the pollers keep their connections through the quiet ones.
    std::atomic<bool> stop{false}, polling{false};
    std::atomic<long> requests{0}, failures{0};
    std::vector<std::thread> pollers;
    for (int c = 0; c < clients; ++c) {
        pollers.emplace_back([&] {
            httplib::Client client(kAddress, 8080);
            client.set_read_timeout(std::chrono::seconds(30));
            while (!stop) {
                const auto next = Clock::now() + std::chrono::milliseconds(polling ? intervalMs : 5);
                if (polling) {
                    for (const char* path : {"/api/bricks", "/api/bricks/1/inventory"}) {
                        const auto result = client.Get(path);
                        ++requests;
                        if (!result || result->status != 200)
                            ++failures;
                    }
                }
                std::this_thread::sleep_until(next);
            }
        });
    }
    constexpr int kRounds = 6;
    const auto stretch = std::chrono::duration<double>(seconds / kRounds);
    double loadSeconds = 0, serveCpu = 0, benchCpu = 0;
    bool failed = false;
    for (int round = 0; round < kRounds && !failed; ++round) {
        for (const bool polled : {false, true}) {
            polling = polled;
            const double serveCpuBefore = cpuSeconds(serve.process().pid());
            const double benchCpuBefore = cpuSeconds(::getpid());
            const auto begin = Clock::now();
            while (!failed && Clock::now() < begin + stretch)
                failed = !scanOnce(serve, polled ? loaded : idle);
            if (polled) {
                loadSeconds += std::chrono::duration<double>(Clock::now() - begin).count();
                serveCpu += cpuSeconds(serve.process().pid()) - serveCpuBefore;
                benchCpu += cpuSeconds(::getpid()) - benchCpuBefore;
            }
        }
    }
    stop = true;
    for (auto& poller : pollers)
        poller.join();
    if (failed)
        return 1;

    const double idleServe = median(idle.serveMs), loadedServe = median(loaded.serveMs);
    const double idleClient = median(idle.clientMs), loadedClient = median(loaded.clientMs);
    std::printf("clients %d, each polling 2 requests every %d ms, for %.1f s in all: %ld requests (%.0f/s), %ld failed\n",
                clients, intervalMs, loadSeconds, requests.load(), double(requests) / loadSeconds, failures.load());
    std::printf("CPU while polling: halvixctl serve %.0f %%, the polling clients %.0f %% (of one core)\n",
                100 * serveCpu / loadSeconds, 100 * benchCpu / loadSeconds);
    std::printf("scan of the reference rig, median   alone: %.0f ms (serve) %.0f ms (client), %zu scans\n", idleServe,
                idleClient, idle.serveMs.size());
    std::printf("                            under polling: %.0f ms (serve) %.0f ms (client), %zu scans\n",
                loadedServe, loadedClient, loaded.serveMs.size());
    std::printf("slowdown: %+.1f %% (serve) %+.1f %% (client)\n", 100 * (loadedServe / idleServe - 1),
                100 * (loadedClient / idleClient - 1));
    return 0;
}
