// Costs of the platform layer's round trips: a driver request, a pipe exchange, the adapter list.
#include "tests/devices/platform/TestDriver.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/RunDir.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <future>

namespace {

using namespace Vdapi;

/// A private run directory for the life of one benchmark.
class BenchRunDir {
public:
    BenchRunDir()
    {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/vdapi-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
        ::setenv("VDAPI_RUN_DIR", path_.c_str(), 1);
    }
    ~BenchRunDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

private:
    std::string path_;
};

void DriverRequestRoundTrip(benchmark::State& state)
{
    BenchRunDir runDir;
    TestSupport::TestDriver driver(RunDir::driverInterface(DriverClassGuid(DriverClass::Pcie), 0),
                                   [](const DriverWire::RequestHeader&, const std::vector<uint8_t>& input) {
                                       return TestSupport::makeReply(0, input);
                                   });
    auto handle = Xp::NewDriver(DriverClass::Pcie);
    if (!driver.ready() || handle->Open(0, true, true) != VDAPI_OK) {
        state.SkipWithError("driver not reachable");
        return;
    }
    std::vector<uint8_t> input(size_t(state.range(0)), 0x5A);
    std::vector<uint8_t> output(input.size());
    for (auto _ : state) {
        uint32_t returned = 0;
        if (handle->Request(0xAFC86EE2, input.data(), uint32_t(input.size()), output.data(),
                            uint32_t(output.size()), &returned, nullptr) != VDAPI_OK) {
            state.SkipWithError("request failed");
            return;
        }
        benchmark::DoNotOptimize(returned);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0) * 2);
}
BENCHMARK(DriverRequestRoundTrip)->Arg(16)->Arg(104)->Arg(65536)->UseRealTime();

void PipeRequestReply(benchmark::State& state)
{
    BenchRunDir runDir;
    auto listener = Xp::NewPipeListener();
    auto client = Xp::NewPipeConnection();
    std::unique_ptr<IXpPipeConnection> server;
    if (listener->Create("BenchPipe") != VDAPI_OK || client->Init() != VDAPI_OK ||
        client->Connect("BenchPipe") != VDAPI_OK || listener->Accept(server, 10000) != VDAPI_OK) {
        state.SkipWithError("pipe not connected");
        return;
    }
    // The server echoes every 24-byte message until the client closes.
    auto echo = std::async(std::launch::async, [&] {
        uint8_t message[24];
        while (server->Read(message, sizeof(message), kXpInfinite) == VDAPI_OK)
            if (server->Write(message, sizeof(message), 1000) != VDAPI_OK)
                break;
    });
    uint8_t request[24] = {1};
    uint8_t reply[24];
    for (auto _ : state) {
        if (client->Write(request, sizeof(request), 1000) != VDAPI_OK ||
            client->Read(reply, sizeof(reply), 1000) != VDAPI_OK) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    client->Close();
    echo.get();
}
BENCHMARK(PipeRequestReply)->UseRealTime();

void ListAdapters(benchmark::State& state)
{
    NetAdapterInfo entries[100];
    for (auto _ : state) {
        int count = 0;
        benchmark::DoNotOptimize(Xp::Network().GetAdapters(100, count, entries));
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(ListAdapters);

} // namespace

BENCHMARK_MAIN();
