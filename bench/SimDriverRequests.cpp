// Round trips of driver requests and service messages against a running vdsim with the
// reference rig: what one request costs a client of the simulator.
#include "devices/pcie/DriverProtocol.h"
#include "devices/platform/posix/DriverWire.h"
#include "devices/vde/ServiceProtocol.h"
#include "sim/SocketIo.h"

#include <benchmark/benchmark.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace DP = Vdapi::DriverProtocol;
namespace DW = Vdapi::DriverWire;
namespace SP = Vdapi::ServiceProtocol;

/// vdsim with the reference rig in a private run directory, for the whole benchmark run.
struct Sim {
    std::string dir, run;
    pid_t pid = -1;
    Sim()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vdsimbenchXXXXXX").string();
        if (!::mkdtemp(tmpl.data())) return;
        dir = tmpl;
        run = dir + "/run";
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 1);
            std::string rig = std::string(HALVIX_SOURCE_DIR) + "/sim/rigs/reference.json";
            ::execl(VDSIM_BIN, VDSIM_BIN, "--rig", rig.c_str(), "--run-dir", run.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string out;
        char buf[256];
        while (out.find("ready") == std::string::npos) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) break;
            ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, size_t(n));
        }
        ::close(fds[0]);
    }
    ~Sim()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
};

Sim& sim()
{
    static Sim s;
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
    vdsim::UniqueFd fd = vdsim::connectUnix(sim().run + "/drivers/" + DP::kPcieInterfaceClass + "/0");
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

void BM_ConnectAndReadVersion(benchmark::State& state)
{
    std::vector<uint8_t> in(DP::kHeaderSize), out;
    DP::encodePlainHeader(in.data());
    const std::string path = sim().run + "/drivers/" + DP::kPcieInterfaceClass + "/0";
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
    vdsim::UniqueFd fd = vdsim::connectUnix(sim().run + "/pipe/VdeRecvPipe");
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
