// Windows named pipes: our client and server ends against each other and against a plain test
// server made with CreateNamedPipeA (a busy pipe, whole messages read in parts).
#include "devices/platform/Xp.h"
#include "devices/platform/windows/UniqueHandle.h"
#include "devices/platform/windows/XpPipeConnectionWindows.h"
#include "devices/platform/windows/XpPipeListenerWindows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace Vdapi {
namespace {

using namespace std::chrono_literals;

std::string pipeName(const char* base)
{
    return std::string("HalvixTest_") + base + "_" + std::to_string(::GetCurrentProcessId());
}

bool eventually(const std::function<bool()>& condition)
{
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

/// A message-mode server instance made directly with the system call, one instance at most.
UniqueHandle plainServer(const std::string& name, DWORD flags = 0)
{
    return UniqueHandle(::CreateNamedPipeA(("\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_DUPLEX | flags,
                                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0,
                                           nullptr));
}

class PipeWindows : public ::testing::Test {
protected:
    void connectPair(const std::string& name)
    {
        listener = Xp::NewPipeListener();
        ASSERT_EQ(VDAPI_OK, listener->Create(name.c_str()));
        client = Xp::NewPipeConnection();
        ASSERT_EQ(VDAPI_OK, client->Init());
        ASSERT_EQ(VDAPI_OK, client->Connect(name.c_str()));
        ASSERT_EQ(VDAPI_OK, listener->Accept(server, 20000));
        ASSERT_TRUE(server);
    }

    std::unique_ptr<IXpPipeListener> listener;
    std::unique_ptr<IXpPipeConnection> client;
    std::unique_ptr<IXpPipeConnection> server;
};

TEST_F(PipeWindows, BytesTravelBothWaysOneClientPerConnectionAndReconnectAfterClose)
{
    const std::string name = pipeName("Both");
    connectPair(name);
    const char request[] = "request";
    ASSERT_EQ(VDAPI_OK, client->Write(request, sizeof(request), 5000));
    char received[sizeof(request)] = {};
    ASSERT_EQ(VDAPI_OK, server->Read(received, sizeof(received), 5000));
    EXPECT_STREQ(request, received);

    // Far larger than the pipe's buffers: the write completes only while the other end reads.
    std::vector<uint8_t> big(300000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7);
    auto writer = std::async(std::launch::async, [&] { return server->Write(big.data(), uint32_t(big.size()), 20000); });
    std::vector<uint8_t> back(big.size());
    EXPECT_EQ(VDAPI_OK, client->Read(back.data(), uint32_t(back.size()), 20000));
    EXPECT_EQ(VDAPI_OK, writer.get());
    EXPECT_EQ(big, back);

    EXPECT_EQ(VDAPI_E_IN_USE, client->Connect(name.c_str()));
    // A second client gets the next instance while the first stays connected.
    auto second = Xp::NewPipeConnection();
    ASSERT_EQ(VDAPI_OK, second->Connect(name.c_str()));
    std::unique_ptr<IXpPipeConnection> secondServer;
    ASSERT_EQ(VDAPI_OK, listener->Accept(secondServer, 20000));
    ASSERT_EQ(VDAPI_OK, secondServer->Write("2", 1, 5000));
    char byte = 0;
    EXPECT_EQ(VDAPI_OK, second->Read(&byte, 1, 5000));
    EXPECT_EQ('2', byte);

    client->Close();
    EXPECT_FALSE(client->IsOpen());
    EXPECT_EQ(VDAPI_OK, client->Connect(name.c_str()));
}

TEST_F(PipeWindows, NamesUnconnectedPipesAndListenersAreChecked)
{
    XpPipeConnectionWindows pipe(1);
    char byte = 0;
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe.Read(&byte, 1, 0));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe.Write(&byte, 1, 0));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe.Flush());
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe.ResetCancel());
    // "\\.\pipe\" and the name must stay below 260 characters.
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, pipe.Connect(std::string(251, 'p').c_str()));
    EXPECT_EQ(0, pipe.lastConnectAttempts());
    EXPECT_EQ(VDAPI_E_NOT_FOUND, pipe.Connect(std::string(250, 'p').c_str()));
    EXPECT_EQ(1, pipe.lastConnectAttempts()); // a missing pipe is not retried
    EXPECT_EQ(VDAPI_E_INVALID_ARG, pipe.Connect(""));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, pipe.Connect(nullptr));

    XpPipeListenerWindows server;
    std::unique_ptr<IXpPipeConnection> connection;
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, server.Accept(connection, 0));
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, server.Create(std::string(91, 'p').c_str())); // 99 in all
    const std::string name = pipeName("Owned");
    ASSERT_EQ(VDAPI_OK, server.Create(name.c_str()));
    EXPECT_EQ(VDAPI_E_ATTACHED, server.Create(name.c_str()));
    XpPipeListenerWindows rival;
    EXPECT_EQ(VDAPI_E_IN_USE, rival.Create(name.c_str()));
    server.Close();
    EXPECT_EQ(VDAPI_OK, rival.Create(name.c_str()));
}

TEST_F(PipeWindows, BusyPipeIsRetriedTenTimesAndConnectsOnceAnInstanceIsFree)
{
    const std::string name = pipeName("Busy");
    UniqueHandle instance = plainServer(name, FILE_FLAG_OVERLAPPED);
    ASSERT_TRUE(instance);
    XpPipeConnectionWindows first;
    ASSERT_EQ(VDAPI_OK, first.Connect(name.c_str()));

    XpPipeConnectionWindows impatient(1);
    EXPECT_EQ(VDAPI_E_NOT_FOUND, impatient.Connect(name.c_str()));
    EXPECT_EQ(10, impatient.lastConnectAttempts());
    EXPECT_FALSE(impatient.IsOpen());

    // The server lets the first client go and offers its instance again: a waiting client gets it.
    XpPipeConnectionWindows patient;
    auto connecting = std::async(std::launch::async, [&] { return patient.Connect(name.c_str()); });
    ASSERT_TRUE(eventually([&] { return patient.lastConnectAttempts() >= 1; }));
    first.Close();
    ::DisconnectNamedPipe(instance.get());
    UniqueHandle connected(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    overlapped.hEvent = connected.get();
    ::ConnectNamedPipe(instance.get(), &overlapped);
    ASSERT_EQ(std::future_status::ready, connecting.wait_for(30s));
    EXPECT_EQ(VDAPI_OK, connecting.get());
    EXPECT_GE(patient.lastConnectAttempts(), 2);
    ::CancelIoEx(instance.get(), &overlapped);
    DWORD unused = 0;
    ::GetOverlappedResult(instance.get(), &overlapped, &unused, TRUE);
}

TEST_F(PipeWindows, MessagesReadInPartsTimeOutsAndShortTransfers)
{
    const std::string name = pipeName("Parts");
    UniqueHandle instance = plainServer(name);
    ASSERT_TRUE(instance);
    XpPipeConnectionWindows pipe;
    ASSERT_EQ(VDAPI_OK, pipe.Connect(name.c_str()));
    ::ConnectNamedPipe(instance.get(), nullptr);

    char buffer[16] = {};
    EXPECT_EQ(VDAPI_E_TIMEOUT, pipe.Read(buffer, 4, 0)); // nothing waiting: at once

    // One 10-byte message read as 4 + 6: the first read ends with "more data", which is success.
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(instance.get(), "0123456789", 10, &written, nullptr));
    EXPECT_EQ(VDAPI_OK, pipe.Read(buffer, 4, 0));
    EXPECT_EQ(0, std::memcmp(buffer, "0123", 4));
    EXPECT_EQ(VDAPI_OK, pipe.Read(buffer, 6, kXpInfinite));
    EXPECT_EQ(0, std::memcmp(buffer, "456789", 6));

    // Two messages make one read of their sum; part of what was asked and then silence is short.
    ASSERT_TRUE(::WriteFile(instance.get(), "ab", 2, &written, nullptr));
    ASSERT_TRUE(::WriteFile(instance.get(), "cd", 2, &written, nullptr));
    EXPECT_EQ(VDAPI_OK, pipe.Read(buffer, 4, 5000));
    EXPECT_EQ(0, std::memcmp(buffer, "abcd", 4));
    ASSERT_TRUE(::WriteFile(instance.get(), "abc", 3, &written, nullptr));
    EXPECT_EQ(VDAPI_E_COMMUNICATION, pipe.Read(buffer, 8, 50));

    // Junk waiting is flushed; what comes after it is read.
    ASSERT_TRUE(::WriteFile(instance.get(), std::string(250, 'j').data(), 250, &written, nullptr));
    EXPECT_EQ(VDAPI_OK, pipe.Flush());
    ASSERT_TRUE(::WriteFile(instance.get(), "n", 1, &written, nullptr));
    EXPECT_EQ(VDAPI_OK, pipe.Read(buffer, 1, 5000));
    EXPECT_EQ('n', buffer[0]);

    // The server goes away (what it wrote and nobody read is dropped): reading and writing fail.
    ASSERT_TRUE(::WriteFile(instance.get(), "xy", 2, &written, nullptr));
    ::DisconnectNamedPipe(instance.get());
    EXPECT_NE(VDAPI_OK, pipe.Read(buffer, 4, 5000));
    EXPECT_NE(VDAPI_OK, pipe.Write("z", 1, 5000));
}

TEST_F(PipeWindows, CancelEndsABlockedReadUntilResetCancel)
{
    const std::string name = pipeName("Cancel");
    connectPair(name);
    std::atomic<bool> reading{false};
    auto reader = std::async(std::launch::async, [&] {
        char byte = 0;
        reading = true;
        return client->Read(&byte, 1, 60000);
    });
    ASSERT_TRUE(eventually([&] { return reading.load(); }));
    client->Cancel();
    ASSERT_EQ(std::future_status::ready, reader.wait_for(20s));
    EXPECT_EQ(VDAPI_E_CANCELLED, reader.get());

    ASSERT_EQ(VDAPI_OK, server->Write("z", 1, 5000));
    char byte = 0;
    EXPECT_EQ(VDAPI_E_CANCELLED, client->Read(&byte, 1, 5000));
    EXPECT_EQ(VDAPI_E_CANCELLED, client->Write(&byte, 1, 5000));
    ASSERT_EQ(VDAPI_OK, client->ResetCancel());
    EXPECT_EQ(VDAPI_OK, client->Read(&byte, 1, 5000));
    EXPECT_EQ('z', byte);

    // A read without time limit waits in the system: the cancel event breaks it off.
    std::atomic<bool> waiting{false};
    auto endless = std::async(std::launch::async, [&] {
        char b = 0;
        waiting = true;
        return client->Read(&b, 1, kXpInfinite);
    });
    ASSERT_TRUE(eventually([&] { return waiting.load(); }));
    client->Cancel();
    ASSERT_EQ(std::future_status::ready, endless.wait_for(20s));
    // Cancelled in the system's wait (the pipe's state is then unknown) or before it began.
    const VdResult r = endless.get();
    EXPECT_TRUE(r == VDAPI_E_INTERNAL || r == VDAPI_E_CANCELLED) << r;
}

TEST_F(PipeWindows, AcceptTimesOutAndStopEndsAWaitingAccept)
{
    XpPipeListenerWindows server;
    ASSERT_EQ(VDAPI_OK, server.Create(pipeName("Lonely").c_str()));
    std::unique_ptr<IXpPipeConnection> connection;
    EXPECT_EQ(VDAPI_E_TIMEOUT, server.Accept(connection, 0));

    std::atomic<bool> accepting{false};
    auto acceptor = std::async(std::launch::async, [&] {
        std::unique_ptr<IXpPipeConnection> c;
        accepting = true;
        return server.Accept(c, kXpInfinite);
    });
    ASSERT_TRUE(eventually([&] { return accepting.load(); }));
    server.Stop();
    ASSERT_EQ(std::future_status::ready, acceptor.wait_for(20s));
    EXPECT_EQ(VDAPI_E_CANCELLED, acceptor.get());
    EXPECT_EQ(VDAPI_E_CANCELLED, server.Accept(connection, 0));
}

} // namespace
} // namespace Vdapi
