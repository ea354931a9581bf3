// Cost of taking a packet from the pool and giving it back.
#include <benchmark/benchmark.h>

#include "framework/Pool.h"

namespace {

void BM_PoolGetRelease(benchmark::State& state)
{
    kel::Pool<kel::RawDataPacket> pool;
    for (auto _ : state) {
        std::shared_ptr<kel::RawDataPacket> packet = pool.get();
        benchmark::DoNotOptimize(packet.get());
    }
}
BENCHMARK(BM_PoolGetRelease);

// With a notification-sized fill in between, as the notification path uses it.
void BM_PoolGetFillRelease(benchmark::State& state)
{
    kel::Pool<kel::RawDataPacket> pool;
    std::vector<std::uint8_t> frame(600, 'x');
    for (auto _ : state) {
        std::shared_ptr<kel::RawDataPacket> packet = pool.get();
        packet->assign(frame.data(), frame.size());
        benchmark::DoNotOptimize(packet->data());
    }
}
BENCHMARK(BM_PoolGetFillRelease);

}  // namespace

BENCHMARK_MAIN();
