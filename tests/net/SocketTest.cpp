// Sockets, status mapping, address lookup and the selector against real loopback sockets.
#include "net/Address.h"
#include "net/Socket.h"
#include "net/SocketSelector.h"

#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "PlatformErrors.h" // tests/net/posix/ or tests/net/windows/

#include <chrono>
#include <string>

using namespace std::chrono_literals;

TEST(AddressTest, ResolveBroadcastQuadsNamesAndFailures)
{
    EXPECT_EQ(ip::resolve("255.255.255.255"), ip::Broadcast);
    EXPECT_EQ(ip::toString(ip::resolve("10.0.0.7")), "10.0.0.7");
    EXPECT_EQ(ip::resolve("127.0.0.1"), ip::Loopback);
    EXPECT_EQ(ip::resolve("localhost"), ip::Loopback);
    // An empty label makes the lookup fail before any query leaves the machine.
    EXPECT_EQ(ip::resolve("no..such..host"), ip::Any);
    EXPECT_EQ(ip::resolve(""), ip::Any);
    EXPECT_EQ(ip::toString(ip::Broadcast), "255.255.255.255");
    EXPECT_EQ(ip::toString(ip::Any), "0.0.0.0");
}

TEST(SocketTest, OpenIsIdempotentAndCloseTwiceDoesNothing)
{
    ip::TcpSocket socket;
    socket.close();
    ASSERT_TRUE(socket.open());
    const ip::SocketHandle handle = socket.handle();
    EXPECT_TRUE(socket.open());
    EXPECT_EQ(socket.handle(), handle);
    socket.close();
    socket.close();
    EXPECT_FALSE(socket.isOpen());
}

TEST(SocketTest, ConnectWithLimitToListenerAndClosedPortAndBindConflict)
{
    LoopbackServer listener(true);
    ip::TcpSocket client;
    EXPECT_EQ(client.connect(ip::Loopback, listener.port, 300000), ip::SocketStatus::Done);
    EXPECT_TRUE(client.isBlocking()); // the mode is restored after the limited wait
    EXPECT_EQ(client.peerPort(), listener.port);
    // A repeated connect on a connected socket reports success.
    EXPECT_EQ(client.connect(ip::Loopback, listener.port, 300000), ip::SocketStatus::Done);

    LoopbackServer closed; // bound, never listening
    ip::TcpSocket refused;
    const ip::SocketStatus status = refused.connect(ip::Loopback, closed.port, 300000);
    EXPECT_EQ(status, ip::SocketStatus::Error);
    EXPECT_EQ(refused.lastError(), platform_errors::ConnectionRefused);

    // Without a limit too. A socket whose connect failed is not reused (Wine's Winsock refuses
    // that, and TcpClient starts each attempt with a fresh socket).
    ip::TcpSocket plainRefused, plain;
    EXPECT_EQ(plainRefused.connect(ip::Loopback, closed.port, 0), ip::SocketStatus::Error);
    EXPECT_EQ(plain.connect(ip::Loopback, listener.port, 0), ip::SocketStatus::Done) << plain.lastErrorText();

    // SO_REUSEADDR does not let two sockets listen on the same address and port.
    ip::TcpSocket second;
    ASSERT_EQ(second.bind(ip::Loopback, listener.port), ip::SocketStatus::Error);
    EXPECT_EQ(second.lastError(), platform_errors::AddressInUse);
    EXPECT_NE(second.lastErrorText().find("in use"), std::string::npos);
}

TEST(SocketTest, PendingConnectTimesOutThenCompletesOnRetry)
{
    // A listener with a full backlog leaves further connects pending: the kernel drops their
    // SYNs until the queue has room again.
    LoopbackServer server;
    ip::TcpSocket& listener = server.listener;
    ASSERT_EQ(listener.listen(0), ip::SocketStatus::Done);
    const uint16_t port = server.port;

    std::vector<ip::TcpSocket> fillers;
    ip::SocketStatus status = ip::SocketStatus::Done;
    ip::TcpSocket pending;
    for (int i = 0; i < 8 && status == ip::SocketStatus::Done; ++i) {
        ip::TcpSocket probe;
        status = probe.connect(ip::Loopback, port, 100000);
        if (status == ip::SocketStatus::Done)
            fillers.push_back(std::move(probe));
        else
            pending = std::move(probe);
    }
    ASSERT_EQ(status, ip::SocketStatus::NotReady) << "the backlog never filled";

    // Make room: accept everything queued, then retry the same socket until it is connected.
    listener.setBlocking(false);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (status != ip::SocketStatus::Done && std::chrono::steady_clock::now() < deadline) {
        ip::TcpSocket accepted;
        while (listener.accept(accepted) == ip::SocketStatus::Done)
            fillers.push_back(std::move(accepted));
        status = pending.connect(ip::Loopback, port, 300000);
        ASSERT_NE(status, ip::SocketStatus::Error) << pending.lastErrorText();
    }
    EXPECT_EQ(status, ip::SocketStatus::Done);
}

TEST(SocketTest, ReadinessSendReceiveAndOrderlyClose)
{
    LoopbackServer listener(true);
    ip::TcpSocket client;
    ASSERT_EQ(client.connect(ip::Loopback, listener.port, 300000), ip::SocketStatus::Done);
    ip::TcpSocket server;
    ASSERT_EQ(listener.listener.accept(server), ip::SocketStatus::Done);
    EXPECT_EQ(server.peerPort(), client.localPort());

    // Nothing there yet: the selector says so, and a non-blocking receive is NotReady.
    ip::SocketSelector selector;
    selector.add(server.handle());
    EXPECT_EQ(selector.waitReadable(1ms), 0);
    char buffer[16] = {};
    size_t received = 0, sent = 0;
    server.setBlocking(false);
    EXPECT_EQ(server.receive(buffer, sizeof buffer, received), ip::SocketStatus::NotReady);
    server.setBlocking(true);

    ASSERT_EQ(client.send("hello", 5, sent), ip::SocketStatus::Done);
    EXPECT_EQ(sent, 5u);
    EXPECT_EQ(selector.waitReadable(10s), 1);
    EXPECT_TRUE(selector.isReady(server.handle()));
    ASSERT_EQ(server.receive(buffer, sizeof buffer, received), ip::SocketStatus::Done);
    EXPECT_EQ(std::string(buffer, received), "hello");

    client.close();
    EXPECT_EQ(server.receive(buffer, sizeof buffer, received), ip::SocketStatus::Disconnected);
    EXPECT_EQ(received, 0u);

    // Sending to a peer that is gone fails without a signal ending the process.
    ip::SocketStatus status = ip::SocketStatus::Done;
    for (int i = 0; i < 100 && status == ip::SocketStatus::Done; ++i)
        status = server.send("x", 1, sent);
    EXPECT_EQ(status, ip::SocketStatus::Disconnected);

    // Operations on a closed socket fail cleanly.
    client.close();
    EXPECT_EQ(client.send("x", 1, sent), ip::SocketStatus::Error);
    EXPECT_EQ(client.receive(buffer, 1, received), ip::SocketStatus::Error);
}

TEST(SocketSelectorTest, SetLimits)
{
    ip::SocketSelector selector;
    selector.add(ip::InvalidSocket);
    EXPECT_EQ(selector.count(), 0u);

    std::vector<ip::TcpSocket> sockets(ip::SocketSelector::MaxSockets + 1);
    for (auto& s : sockets) {
        ASSERT_TRUE(s.open());
        selector.add(s.handle());
    }
    EXPECT_EQ(selector.count(), ip::SocketSelector::MaxSockets);
    EXPECT_FALSE(selector.contains(sockets.back().handle())); // the 65th is ignored
    selector.add(sockets.front().handle());                    // present: ignored
    EXPECT_EQ(selector.count(), ip::SocketSelector::MaxSockets);
    selector.remove(sockets.front().handle());
    EXPECT_EQ(selector.count(), ip::SocketSelector::MaxSockets - 1);
    selector.remove(sockets.front().handle());
    EXPECT_EQ(selector.count(), ip::SocketSelector::MaxSockets - 1);
}
