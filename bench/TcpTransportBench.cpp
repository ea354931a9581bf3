// TCP transport over loopback: round trip of small messages through ip::TcpClient and its
// receiving thread, and one-way throughput of TcpClient::send.
#include "net/SocketSelector.h"
#include "net/TcpClient.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

/// A loopback peer on an ephemeral port that accepts one connection and either echoes
/// everything back or discards it, until the client goes away.
class Peer {
public:
    explicit Peer(bool echo) : echo_(echo)
    {
        if (listener_.bind(ip::Loopback, 0) != ip::SocketStatus::Done || listener_.listen() != ip::SocketStatus::Done)
            throw std::runtime_error("cannot listen: " + listener_.lastErrorText());
        thread_ = std::thread([this] { serve(); });
    }
    ~Peer()
    {
        listener_.shutdown(); // wakes an accept that never got a client
        thread_.join();
    }
    uint16_t port() const { return listener_.localPort(); }

private:
    void serve()
    {
        ip::SocketSelector selector;
        selector.add(listener_.handle());
        if (selector.waitReadable(std::chrono::seconds(30)) <= 0)
            return;
        ip::TcpSocket peer;
        if (listener_.accept(peer) != ip::SocketStatus::Done)
            return;
        std::string buffer(1 << 16, '\0');
        for (;;) {
            std::size_t n = 0;
            if (peer.receive(buffer.data(), buffer.size(), n) != ip::SocketStatus::Done)
                return;
            for (std::size_t off = 0; echo_ && off < n;) {
                std::size_t sent = 0;
                if (peer.send(buffer.data() + off, n - off, sent) != ip::SocketStatus::Done)
                    return;
                off += sent;
            }
        }
    }

    bool echo_;
    ip::TcpSocket listener_;
    std::thread thread_;
};

/// Counts received bytes and lets the benchmark wait for a total.
class Counter : public ip::TcpClientListener {
public:
    void onDataReceived(std::shared_ptr<ip::TcpConnection>, ip::SocketStatus status, std::size_t size) override
    {
        if (status != ip::SocketStatus::Done)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        received_ += size;
        changed_.notify_all();
    }
    void onConnected() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connected_ = true;
        changed_.notify_all();
    }
    void onDisconnected() override {}

    bool waitConnected()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [this] { return connected_; });
    }
    bool waitReceived(std::size_t total)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return received_ >= total; });
    }

private:
    std::mutex mutex_; // guards received_, connected_
    std::condition_variable changed_;
    std::size_t received_ = 0;
    bool connected_ = false;
};

/// Starts `client` with `counter` listening; false (and the benchmark skipped) without a connection.
bool connect(benchmark::State& state, ip::TcpClient& client, Counter& counter)
{
    client.addListener(&counter);
    client.start();
    if (counter.waitConnected())
        return true;
    state.SkipWithError("no connection");
    return false;
}

void BM_TcpClientRoundTrip(benchmark::State& state)
{
    Peer peer(/*echo=*/true);
    Counter counter;
    ip::TcpClient client("127.0.0.1", peer.port(), "127.0.0.1");
    if (!connect(state, client, counter))
        return;
    const std::string message(std::size_t(state.range(0)), 'r');
    std::size_t total = 0;
    for (auto _ : state) {
        if (!client.send(message.data(), message.size())) {
            state.SkipWithError("send failed");
            break;
        }
        total += message.size();
        if (!counter.waitReceived(total)) {
            state.SkipWithError("echo did not come back");
            break;
        }
    }
    client.stop();
}
BENCHMARK(BM_TcpClientRoundTrip)->Arg(100)->Arg(10000)->UseRealTime();

void BM_TcpClientSendThroughput(benchmark::State& state)
{
    Peer peer(/*echo=*/false);
    Counter counter;
    ip::TcpClient client("127.0.0.1", peer.port(), "127.0.0.1");
    if (!connect(state, client, counter))
        return;
    const std::string message(std::size_t(state.range(0)), 's');
    for (auto _ : state) {
        if (!client.send(message.data(), message.size())) {
            state.SkipWithError("send failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
    client.stop();
}
BENCHMARK(BM_TcpClientSendThroughput)->Arg(1024)->Arg(65536)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
