// Round trips of driver requests and service messages against a running vdsim with the
// reference rig: what one request costs a client of the simulator.
#include "devices/pcie/DriverProtocol.h"
#include "devices/platform/Xp.h"
#include "devices/platform/posix/DriverWire.h"
#include "devices/vde/ServiceProtocol.h"
#include "tests/support/SimProcess.h"
#include "sim/SocketIo.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

namespace DP = Vdapi::DriverProtocol;
namespace DW = Vdapi::DriverWire;
namespace SP = Vdapi::ServiceProtocol;

test::SimProcess& sim()
{
    static test::SimProcess s(test::sourcePath("sim/rigs/reference.json"));
    return s;
}

bool driverRoundTrip(int fd, uint32_t code, const std::vector<uint8_t>& input, std::vector<uint8_t>& output)
{
    uint8_t h[DW::kRequestHeaderSize];
    DW::encode(DW::RequestHeader{code, uint32_t(input.size()), 4096}, h);
    std::vector<uint8_t> bytes(h, h + sizeof h);
    bytes.insert(bytes.end(), input.begin(), input.end());
    uint8_t rh[DW::kReplyHeaderSize];
    if (!vdsim::writeFull(fd, bytes.data(), bytes.size(), -1) || !vdsim::readFull(fd, rh, sizeof rh, -1, 10000)) return false;
    DW::ReplyHeader reply = DW::decodeReply(rh);
    if (reply.outputLength > 4096) return false;
    output.resize(reply.outputLength);
    return vdsim::readFull(fd, output.data(), output.size(), -1, 10000) && reply.windowsError == 0;
}

void BM_PciePropertyLookup(benchmark::State& state)
{
    vdsim::UniqueFd fd = vdsim::connectUnix(sim().pciePath(0));
    if (!fd) {
        state.SkipWithError("vdsim not reachable");
        return;
    }
    std::vector<uint8_t> in(DP::PciePropertyRequest::kSize), out;
    DP::PciePropertyRequest req;
    req.blockId1 = 0xB10C0001; // the core block of a simulated card
    req.query.name = "CAP_ASI";
    req.query.port = 0;
    req.encode(in.data());
    for (auto _ : state)
        if (!driverRoundTrip(fd.get(), DP::kGetProperty, in, out)) {
            state.SkipWithError("request failed");
            return;
        }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PciePropertyLookup);

// The same look-up through the device layer's driver handle, as device initialisation sends it.
void BM_XpDriverPropertyLookup(benchmark::State& state)
{
    if (!sim().ready()) {
        state.SkipWithError("vdsim not reachable");
        return;
    }
    sim().exportRunDir();
    std::unique_ptr<Vdapi::IXpDriver> driver = Vdapi::Xp::NewDriver(Vdapi::DriverClass::Pcie);
    if (!driver || driver->Open(0, false, true) != Vdapi::VDAPI_OK) {
        state.SkipWithError("driver interface 0 does not open");
        return;
    }
    uint8_t in[DP::PciePropertyRequest::kSize];
    DP::PciePropertyRequest req;
    req.blockId1 = 0xB10C0001;
    req.query.name = "CAP_ASI";
    req.query.port = 0;
    req.encode(in);
    uint8_t out[DP::kPropertyReplySize];
    for (auto _ : state) {
        uint32_t got = 0;
        if (driver->Request(DP::kGetProperty, in, sizeof in, out, sizeof out, &got, nullptr) != Vdapi::VDAPI_OK) {
            state.SkipWithError("request failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_XpDriverPropertyLookup);

// Open of a driver handle through the device layer (connect and whatever set-up follows).
void BM_XpDriverOpen(benchmark::State& state)
{
    if (!sim().ready()) {
        state.SkipWithError("vdsim not reachable");
        return;
    }
    sim().exportRunDir();
    std::unique_ptr<Vdapi::IXpDriver> driver = Vdapi::Xp::NewDriver(Vdapi::DriverClass::Pcie);
    for (auto _ : state) {
        if (!driver || driver->Open(0, false, true) != Vdapi::VDAPI_OK) {
            state.SkipWithError("driver interface 0 does not open");
            return;
        }
        driver->Close();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_XpDriverOpen);

void BM_ConnectAndReadVersion(benchmark::State& state)
{
    std::vector<uint8_t> in(DP::kHeaderSize), out;
    DP::encodePlainHeader(in.data());
    const std::string path = sim().pciePath(0);
    for (auto _ : state) {
        vdsim::UniqueFd fd = vdsim::connectUnix(path);
        if (!fd || !driverRoundTrip(fd.get(), DP::kGetVersion, in, out)) {
            state.SkipWithError("request failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConnectAndReadVersion);

void BM_ServiceVersion(benchmark::State& state)
{
    vdsim::UniqueFd fd = vdsim::connectUnix(sim().pipePath());
    if (!fd) {
        state.SkipWithError("vdsim not reachable");
        return;
    }
    const uint8_t request[6] = {4, 0, 0, 0, 0, 0};
    uint8_t reply[2 + 24];
    for (auto _ : state)
        if (!vdsim::writeFull(fd.get(), request, sizeof request, -1) || !vdsim::readFull(fd.get(), reply, sizeof reply, -1, 10000)) {
            state.SkipWithError("request failed");
            return;
        }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ServiceVersion);

} // namespace

BENCHMARK_MAIN();
