// The reconnecting TCP client against real loopback listeners: connecting late, losing and
// regaining the server, data both ways, concurrent senders, stop, and bind failures.
#include "net/TcpClient.h"

#include "LoopbackServer.h"
#include "tests/log/CapturingLogger.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

/// Records every client event; tests wait on it with waitUntil.
class Recorder : public ip::TcpClientListener {
public:
    void onDataReceived(std::shared_ptr<ip::TcpConnection> connection, ip::SocketStatus status, std::size_t size) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (status == ip::SocketStatus::Done) {
            bytes_.append(reinterpret_cast<const char*>(connection->data()), size);
            largestChunk = std::max(largestChunk.load(), size);
        } else {
            ++failedReceives;
        }
    }
    void onConnected() override { ++connects; }
    void onDisconnected() override { ++disconnects; }
    std::string bytes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

    std::atomic<int> connects{0}, disconnects{0}, failedReceives{0};
    std::atomic<std::size_t> largestChunk{0};

private:
    std::mutex mutex_;
    std::string bytes_; // guarded by mutex_
};

/// Reads exactly `size` bytes from a blocking socket, or fewer when it closes.
std::string receiveExactly(ip::TcpSocket& socket, std::size_t size)
{
    std::string out;
    char chunk[65536];
    while (out.size() < size) {
        std::size_t n = 0;
        if (socket.receive(chunk, std::min(sizeof chunk, size - out.size()), n) != ip::SocketStatus::Done)
            break;
        out.append(chunk, n);
    }
    return out;
}

/// A listening server with one connected client and the server's end of the connection.
struct Link {
    LoopbackServer server;
    Recorder recorder; // declared before the client, which calls it until destroyed
    std::unique_ptr<ip::TcpClient> client;
    ip::TcpSocket peer;

    /// Starts the client and waits until both ends see the connection.
    bool up()
    {
        server.listen();
        client = std::make_unique<ip::TcpClient>("127.0.0.1", server.port, "127.0.0.1");
        client->addListener(&recorder);
        client->start();
        return server.accept(peer) && waitUntil([&] { return recorder.connects == 1; });
    }
};

} // namespace

TEST(TcpClientTest, ConnectsOnceTheServerListensAndCarriesBytesBothWays)
{
    LoopbackServer server;
    Recorder recorder;
    ip::TcpClient client("127.0.0.1", server.port, "127.0.0.1");
    client.addListener(&recorder);
    client.addListener(&recorder); // present: ignored, so every event comes once
    EXPECT_FALSE(client.send("x", 1)); // no connection yet

    ASSERT_TRUE(client.start());
    EXPECT_TRUE(client.start()); // already running
    // Refused attempts go on once a second until the server listens.
    ASSERT_TRUE(waitUntil([&] { return client.attemptCount() >= 2; }));
    EXPECT_EQ(recorder.connects.load(), 0);
    EXPECT_FALSE(client.isConnected());

    server.listen();
    ip::TcpSocket peer;
    ASSERT_TRUE(server.accept(peer));
    ASSERT_TRUE(waitUntil([&] { return recorder.connects == 1; }));
    EXPECT_TRUE(client.isConnected());
    EXPECT_EQ(peer.peerAddress(), ip::Loopback);

    EXPECT_FALSE(client.send(nullptr, 1));
    EXPECT_FALSE(client.send("x", 0));
    ASSERT_TRUE(client.send("hello", 5));
    EXPECT_EQ(receiveExactly(peer, 5), "hello");

    // A burst larger than one receive arrives complete, in chunks of at most 65,535 bytes.
    std::string burst(300000, '\0');
    for (std::size_t i = 0; i < burst.size(); ++i)
        burst[i] = char('a' + i % 26);
    std::size_t offset = 0;
    while (offset < burst.size()) {
        std::size_t sent = 0;
        ASSERT_EQ(peer.send(burst.data() + offset, burst.size() - offset, sent), ip::SocketStatus::Done);
        offset += sent;
    }
    ASSERT_TRUE(waitUntil([&] { return recorder.bytes().size() == burst.size(); }));
    EXPECT_EQ(recorder.bytes(), burst);
    EXPECT_LE(recorder.largestChunk.load(), ip::TcpConnection::ReceiveSize);
    EXPECT_EQ(recorder.failedReceives.load(), 0);

    client.stop();
    client.stop(); // stopped: nothing to do
}

TEST(TcpClientTest, LostServerIsReportedOnceAndRegained)
{
    Link link;
    ASSERT_TRUE(link.up());
    auto& [server, recorder, client, peer] = link;

    testing::internal::CaptureStdout();
    peer.close();
    const bool disconnected = waitUntil([&] { return recorder.disconnects == 1; });
    // The line follows the callback on the same thread; wait for the connection to be rebuilt,
    // which happens only after the line was written.
    ip::TcpSocket second;
    const bool reaccepted = server.accept(second);
    const bool reconnected = waitUntil([&] { return recorder.connects == 2; });
    const std::string output = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(disconnected);
    ASSERT_TRUE(reaccepted);
    ASSERT_TRUE(reconnected);
    EXPECT_EQ(output, "Disconnected from server\n");
    EXPECT_EQ(recorder.disconnects.load(), 1);

    // The new connection works.
    ASSERT_TRUE(client->send("again", 5));
    EXPECT_EQ(receiveExactly(second, 5), "again");

    // The server vanishes altogether: the client keeps trying and comes back when it returns.
    const uint16_t port = server.port;
    second.close();
    server.listener.close();
    ASSERT_TRUE(waitUntil([&] { return recorder.disconnects == 2; }));
    LoopbackServer revived(true, port);
    ASSERT_TRUE(waitUntil([&] { return recorder.connects == 3; }));
}

TEST(TcpClientTest, StopWhileConnectedClosesWithoutTellingListeners)
{
    Link link;
    ASSERT_TRUE(link.up());
    auto& [server, recorder, client, peer] = link;

    client->stop();
    EXPECT_FALSE(client->isConnected());
    EXPECT_FALSE(client->isRunning());
    EXPECT_FALSE(client->send("x", 1));
    char byte = 0;
    std::size_t n = 0;
    EXPECT_EQ(peer.receive(&byte, 1, n), ip::SocketStatus::Disconnected); // the socket was closed
    EXPECT_EQ(recorder.disconnects.load(), 0);

    // Started again, it reconnects with the same addresses; destruction stops it.
    ASSERT_TRUE(client->start());
    ip::TcpSocket again;
    ASSERT_TRUE(server.accept(again));
    ASSERT_TRUE(waitUntil([&] { return recorder.connects == 2; }));
    client.reset();
    EXPECT_EQ(again.receive(&byte, 1, n), ip::SocketStatus::Disconnected);
    EXPECT_EQ(recorder.disconnects.load(), 0);
}

TEST(TcpClientTest, ConcurrentSendersNeverInterleaveAndStopEndsABlockedSend)
{
    Link link;
    ASSERT_TRUE(link.up());
    auto& [server, recorder, client, peer] = link;

    // Four threads each send 50 messages of 1000 identical bytes; every message arrives whole.
    constexpr int Threads = 4, Messages = 50, Size = 1000;
    std::vector<std::thread> senders;
    for (int t = 0; t < Threads; ++t)
        senders.emplace_back([&client = *client, t] {
            const std::string message(Size, char('A' + t));
            for (int i = 0; i < Messages; ++i)
                EXPECT_TRUE(client.send(message.data(), message.size()));
        });
    for (auto& sender : senders)
        sender.join();
    const std::string all = receiveExactly(peer, std::size_t(Threads) * Messages * Size);
    ASSERT_EQ(all.size(), std::size_t(Threads) * Messages * Size);
    std::map<char, int> perSender;
    for (std::size_t m = 0; m < all.size(); m += Size) {
        ASSERT_EQ(all.substr(m, Size), std::string(Size, all[m])) << "message at " << m << " is mixed";
        ++perSender[all[m]];
    }
    EXPECT_EQ(perSender, (std::map<char, int>{{'A', Messages}, {'B', Messages}, {'C', Messages}, {'D', Messages}}));

    // The server stops reading: a huge send waits for room until stop gives up on it.
    std::atomic<bool> result{true};
    std::thread blocked([&] {
        const std::string huge(64u << 20, 'z');
        result = client->send(huge.data(), huge.size());
    });
    client->stop();
    blocked.join();
    EXPECT_FALSE(result.load());
}

TEST(TcpClientTest, BindFailureIsLoggedOnceWhileRetrying)
{
    LoopbackServer server(true);
    CapturingLogger logger;
    Recorder recorder;
    // 192.0.2.1 is not an address of this machine: binding to it fails, no packet is sent.
    ip::TcpClient client("127.0.0.1", server.port, "192.0.2.1", &logger);
    client.addListener(&recorder);
    client.start();
    ASSERT_TRUE(waitUntil([&] { return client.attemptCount() >= 3; }));
    EXPECT_EQ(logger.messages().size(), 1u);
    EXPECT_EQ(logger.count(LogLevel::Error, "TcpClient", "Cannot bind to specified network adapter"), 1u);
    EXPECT_EQ(recorder.connects.load(), 0);
    client.stop();
}
