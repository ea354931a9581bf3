// What the availability probe costs per port against a running vdsim with the reference rig:
// a free ASI port, a port held by another user, an IP port without link, and the device
// attach alone for comparison.
#include "app/PortProbe.h"
#include "devices/Scan.h"
#include "devices/VdDevice.h"

// The tests' simulator starter (private run directory, readiness wait, VDAPI_RUN_DIR),
// compiled into this benchmark rather than copied.
#include "tests/support/SimProcess.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int64_t kAsiCard = 2144000101;
constexpr int64_t kIpNoLinkCard = 2162000909;

test::SimProcess& Sim()
{
    static test::SimProcess sim(test::sourcePath("sim/rigs/reference.json"));
    static const bool exported = (sim.exportRunDir(), true);
    (void)exported;
    return sim;
}

Vdapi::HwFunctionDescriptor PortRecord(int64_t serial, int port)
{
    int32_t count = 0;
    Vdapi::ScanHwFunctions(0, count, nullptr, false, false, 0);
    std::vector<Vdapi::HwFunctionDescriptor> ports(size_t(count > 0 ? count : 0));
    Vdapi::ScanHwFunctions(count, count, ports.data(), false, false, 0);
    for (const auto& record : ports)
        if (record.device.serial == serial && record.port == port)
            return record;
    return {};
}

void ProbeOne(benchmark::State& state, int64_t serial, int port, bool expected)
{
    if (!Sim().ready()) {
        state.SkipWithError(Sim().error().c_str());
        return;
    }
    const Vdapi::HwFunctionDescriptor record = PortRecord(serial, port);
    for (auto _ : state) {
        if (Halvix::isPortAvailable(record) != expected) {
            state.SkipWithError("the probe answered differently than the rig says");
            return;
        }
    }
}

void BM_ProbeFreeAsiPort(benchmark::State& state)
{
    ProbeOne(state, kAsiCard, 1, true);
}
BENCHMARK(BM_ProbeFreeAsiPort)->Unit(benchmark::kMicrosecond);

void BM_ProbeHeldAsiPort(benchmark::State& state)
{
    if (Sim().ready() && !Sim().command("hold 2144000101 2"))
        state.SkipWithError("hold failed");
    ProbeOne(state, kAsiCard, 2, false);
    Sim().command("release 2144000101 2");
}
BENCHMARK(BM_ProbeHeldAsiPort)->Unit(benchmark::kMicrosecond);

void BM_ProbeIpPortWithoutLink(benchmark::State& state)
{
    ProbeOne(state, kIpNoLinkCard, 1, false);
}
BENCHMARK(BM_ProbeIpPortWithoutLink)->Unit(benchmark::kMicrosecond);

void BM_AttachAndDetachDevice(benchmark::State& state)
{
    if (!Sim().ready()) {
        state.SkipWithError(Sim().error().c_str());
        return;
    }
    for (auto _ : state) {
        Vdapi::VdDeviceInt device;
        if (device.AttachBySerial(kAsiCard) != Vdapi::VDAPI_OK) {
            state.SkipWithError("attach failed");
            return;
        }
        device.Detach();
    }
}
BENCHMARK(BM_AttachAndDetachDevice)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
