// One two-call ScanHwFunctions (count, then fill) against vdsim with the reference rig: wall
// time per scan (median of 20 repetitions) and the driver requests one scan sends, per code.
#include "tests/support/SimProcess.h"
#include "devices/DeviceDescriptor.h"
#include "devices/Scan.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

test::SimProcess& sim()
{
    static test::SimProcess s(test::sourcePath("sim/rigs/reference.json"));
    return s;
}

/// Count call, then fill call, as the scan service makes them. False when the scan misbehaves.
bool twoCallScan(int32_t& ports)
{
    int32_t count = 0;
    if (Vdapi::ScanHwFunctions(0, count, nullptr, false, false, 0) != Vdapi::VDAPI_E_BUF_TOO_SMALL) return false;
    std::vector<Vdapi::HwFunctionDescriptor> records(static_cast<size_t>(count));
    int32_t filled = 0;
    if (Vdapi::ScanHwFunctions(count, filled, records.data(), false, false, 0) != Vdapi::VDAPI_OK) return false;
    ports = filled;
    return filled == count;
}

/// Adds the simulator's counters ("ok k=v k=v ...") to the benchmark's counters; `requests` sums
/// only the driver request codes (0x...), not the opens and batch counts.
uint64_t reportRequests(benchmark::State& state, const std::string& answer)
{
    std::istringstream in(answer);
    std::string word;
    in >> word; // "ok"
    uint64_t total = 0;
    while (in >> word) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos) continue;
        const uint64_t n = std::strtoull(word.c_str() + eq + 1, nullptr, 10);
        state.counters["req_" + word.substr(0, eq)] = double(n);
        if (word.rfind("0x", 0) == 0) total += n;
    }
    state.counters["requests"] = double(total);
    return total;
}

void BM_ScanHwFunctionsTwoCall(benchmark::State& state)
{
    if (!sim().ready()) {
        state.SkipWithError("vdsim did not start");
        return;
    }
    sim().exportRunDir();
    // One untimed scan, counted by the simulator.
    int32_t ports = 0;
    sim().control("counters reset");
    if (!twoCallScan(ports)) {
        state.SkipWithError("scan failed");
        return;
    }
    reportRequests(state, sim().control("counters"));
    state.counters["ports"] = ports;
    for (auto _ : state) {
        if (!twoCallScan(ports)) {
            state.SkipWithError("scan failed");
            return;
        }
    }
}
BENCHMARK(BM_ScanHwFunctionsTwoCall)->Iterations(1)->Repetitions(20)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
