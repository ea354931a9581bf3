// Caller's cost of logging into a running shared logger.
#include <benchmark/benchmark.h>

#include <ostream>
#include <streambuf>

#include "log/SharedLogger.h"

namespace {

// A console that accepts and forgets every byte, so the worker does its full formatting
// work without flooding the terminal.
class DiscardingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

struct RunningLogger {
    RunningLogger() : console(&buffer), logger("SharedLogger", console, true)
    {
        logger.composite().add(&logger.console());
    }
    DiscardingBuffer buffer;
    std::ostream console;
    kel::SharedLogger logger;
};

// Each run is one burst of 5000 calls: a tight loop fills the queue faster than the
// worker drains it, and a deeper queue would measure page faults of its growth rather
// than the steady-state cost of a call. Use --benchmark_repetitions for stable medians.

// The usual call: a temporary message with the time taken now, moved into the queue.
void BM_LogTemporaryMessage(benchmark::State& state)
{
    RunningLogger running;
    for (auto _ : state)
        running.logger.log(LogMessage(LogLevel::Info, "Scan found 4 ports", "JsonRpcClient"));
    running.logger.stop();  // outside the timed loop: the worker drains what is queued
}
BENCHMARK(BM_LogTemporaryMessage)->Iterations(5000);

// A longer text (beyond the short-string buffer), so the copy allocates.
void BM_LogLongTemporaryMessage(benchmark::State& state)
{
    RunningLogger running;
    const std::string text = "Could not parse JSON request message: {\"jsonrpc\":\"2.0\",\"id\":7,\"method\":";
    for (auto _ : state)
        running.logger.log(LogMessage(LogLevel::Verbose, text, "JsonRpcClient"));
    running.logger.stop();  // outside the timed loop: the worker drains what is queued
}
BENCHMARK(BM_LogLongTemporaryMessage)->Iterations(5000);

// Logging the same prebuilt message through the ILogger interface (a copy per call).
void BM_LogCopiedMessage(benchmark::State& state)
{
    RunningLogger running;
    ILogger& logger = running.logger;
    const LogMessage message(LogLevel::Info, "Scan found 4 ports", "JsonRpcClient");
    for (auto _ : state)
        logger.log(message);
    running.logger.stop();  // outside the timed loop: the worker drains what is queued
}
BENCHMARK(BM_LogCopiedMessage)->Iterations(5000);

}  // namespace

BENCHMARK_MAIN();
