// JSON-RPC round trips against the real halvix over loopback, next to the same client against
// a plain echo server (the floor), plus the allocations the client makes per request.
//
//   bench_JsonRpcBench --benchmark_min_time=2
//
// Round-trip benchmarks report median_us and p99_us; pipelined ones report items_per_second.
#include "framework/JsonRpcClient.h"
#include "framework/Frame.h"
#include "log/SharedLogger.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// Counts every allocation of this process; the in-process benchmark reads it per request.
// GCC sees malloc-backed operator new paired with free and warns, although the pair matches.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static std::atomic<uint64_t> gAllocations{0};

void* operator new(size_t size)
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

using kel::frame::framed;

const std::string kRequest = R"({"jsonrpc":"2.0","method":"getSettings","id":1})";
constexpr int kPipelined = 1000;

int listenOn(const char* address, uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &addr.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0)
        throw std::runtime_error(std::string("cannot listen on ") + address + ": " + std::strerror(errno));
    return fd;
}

uint16_t portOf(int fd)
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

int acceptWithin(int listener, int timeoutMs)
{
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
        throw std::runtime_error("no connection came");
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void sendAll(int fd, const std::string& bytes)
{
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("send failed");
        sent += size_t(n);
    }
}

// Reads whole frames from a socket, keeping what comes after the frame for the next call.
class FrameInput {
public:
    explicit FrameInput(int fd) : fd_(fd) { buffer_.reserve(1 << 20); }

    /// Next payload; throws when the peer closes.
    std::string_view next()
    {
        buffer_.erase(0, consumed_);
        consumed_ = 0;
        for (;;) {
            if (buffer_.size() >= kel::frame::kHeaderSize) {
                const auto length = kel::frame::readHeader(reinterpret_cast<const uint8_t*>(buffer_.data()));
                if (!length)
                    throw std::runtime_error("bad frame");
                if (buffer_.size() >= kel::frame::kHeaderSize + *length) {
                    consumed_ = kel::frame::kHeaderSize + *length;
                    return std::string_view(buffer_).substr(kel::frame::kHeaderSize, *length);
                }
            }
            char chunk[65536];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                throw std::runtime_error("connection closed");
            buffer_.append(chunk, size_t(n));
        }
    }

private:
    int fd_;
    std::string buffer_;
    size_t consumed_ = 0;
};

// A peer that answers every byte with the same byte: the cost of the loopback itself. With
// `perFrame`, it answers message by message instead: each complete frame goes back in a send of
// its own, as a server that handles one message at a time would, without any parsing.
class EchoServer {
public:
    explicit EchoServer(bool perFrame = false)
    {
        const int listener = listenOn("127.0.77.2", 0);
        const uint16_t port = portOf(listener);
        thread_ = std::thread([listener, perFrame] {
            const int fd = acceptWithin(listener, 10000);
            ::close(listener);
            if (perFrame) {
                try {
                    for (FrameInput input(fd);;)
                        sendAll(fd, framed(std::string(input.next())));
                } catch (const std::exception&) {
                }
            } else {
                char chunk[65536];
                for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
                    sendAll(fd, std::string(chunk, size_t(n)));
            }
            ::close(fd);
        });
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        ::inet_pton(AF_INET, "127.0.77.2", &addr.sin_addr);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("cannot reach the echo server");
    }
    ~EchoServer()
    {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::thread thread_;
};

// The real halvix, connected to us as its GUI on 127.0.77.1:6666.
class HalvixPeer {
public:
    HalvixPeer()
    {
        const int listener = listenOn("127.0.77.1", 6666);
        pid_ = ::fork();
        if (pid_ == 0) {
            std::freopen("/dev/null", "w", stdout);
            ::execl(HALVIX_BIN, HALVIX_BIN, "--server_address", "127.0.77.1", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        fd_ = acceptWithin(listener, 10000);
        ::close(listener);
        FrameInput(fd_).next(); // "newConnection"
    }
    ~HalvixPeer()
    {
        try {
            sendAll(fd_, framed(R"({"jsonrpc":"2.0","method":"quit"})"));
        } catch (const std::exception&) {
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

HalvixPeer& halvix()
{
    static HalvixPeer peer;
    return peer;
}

void roundTrips(benchmark::State& state, int fd)
{
    const std::string request = framed(kRequest);
    FrameInput input(fd);
    std::vector<double> micros;
    micros.reserve(1 << 20);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        sendAll(fd, request);
        benchmark::DoNotOptimize(input.next());
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

void pipelined(benchmark::State& state, int fd)
{
    std::string burst;
    for (int i = 0; i < kPipelined; ++i)
        burst += framed(kRequest);
    FrameInput input(fd);
    for (auto _ : state) {
        sendAll(fd, burst);
        for (int i = 0; i < kPipelined; ++i)
            benchmark::DoNotOptimize(input.next());
    }
    state.SetItemsProcessed(state.iterations() * kPipelined);
}

void BM_EchoRoundTrip(benchmark::State& state)
{
    EchoServer echo;
    roundTrips(state, echo.fd());
}
BENCHMARK(BM_EchoRoundTrip)->UseRealTime();

void BM_HalvixRoundTrip(benchmark::State& state)
{
    roundTrips(state, halvix().fd());
}
BENCHMARK(BM_HalvixRoundTrip)->UseRealTime();

void BM_EchoPipelined(benchmark::State& state)
{
    EchoServer echo;
    pipelined(state, echo.fd());
}
BENCHMARK(BM_EchoPipelined)->UseRealTime();

void BM_FrameEchoPipelined(benchmark::State& state)
{
    EchoServer echo(/*perFrame=*/true);
    pipelined(state, echo.fd());
}
BENCHMARK(BM_FrameEchoPipelined)->UseRealTime();

void BM_HalvixPipelined(benchmark::State& state)
{
    pipelined(state, halvix().fd());
}
BENCHMARK(BM_HalvixPipelined)->UseRealTime();

// The receive path inside the client, without sockets: frame extraction, parse, dispatch,
// reply framing. Reports the allocations of one request in the steady state.
void BM_ClientAllocationsPerRequest(benchmark::State& state)
{
    std::ostream nowhere(nullptr);
    kel::SharedLogger logger("BenchLogger", nowhere, true);
    kel::JsonRpcClient client(&logger);
    const std::string request = framed(kRequest);
    const auto* bytes = reinterpret_cast<const uint8_t*>(request.data());
    for (int i = 0; i < 100; ++i)
        client.receiveBytes(bytes, request.size()); // reach the steady state
    const uint64_t before = gAllocations.load();
    for (auto _ : state)
        client.receiveBytes(bytes, request.size());
    state.counters["allocs_per_request"] = double(gAllocations.load() - before) / double(state.iterations());
}
BENCHMARK(BM_ClientAllocationsPerRequest);

} // namespace

BENCHMARK_MAIN();
