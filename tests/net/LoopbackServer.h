// A loopback server socket on a port reserved up front: listening at once, late, or never (a
// port nothing answers on that no one else can take meanwhile).
#pragma once

#include "net/Socket.h"
#include "net/SocketSelector.h"

#include <gtest/gtest.h>

#include <chrono>

struct LoopbackServer {
    ip::TcpSocket listener;
    uint16_t port = 0;
    explicit LoopbackServer(bool listening = false, uint16_t fixedPort = 0)
    {
        EXPECT_EQ(listener.bind(ip::Loopback, fixedPort), ip::SocketStatus::Done);
        port = listener.localPort();
        if (listening)
            listen();
    }
    void listen() { EXPECT_EQ(listener.listen(), ip::SocketStatus::Done); }

    /// Accepts one connection within the deadline.
    bool accept(ip::TcpSocket& peer, std::chrono::seconds timeout = std::chrono::seconds(10))
    {
        ip::SocketSelector selector;
        selector.add(listener.handle());
        return selector.waitReadable(timeout) > 0 && listener.accept(peer) == ip::SocketStatus::Done;
    }
};
