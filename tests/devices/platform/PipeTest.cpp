// Named-pipe stand-ins: a real listener and client talking over Unix sockets below a private run dir.
#include "TestRunDir.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/UnixSocket.h"
#include "devices/platform/posix/XpPipeConnectionPosix.h"
#include "devices/platform/posix/XpPipeListenerPosix.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

namespace Vdapi {
namespace {

using namespace std::chrono_literals;

class PipeTest : public ::testing::Test {
protected:
    /// Connects a client to a fresh listener on name; both ends ready for traffic.
    void connectPair(const char* name = "TestPipe")
    {
        listener = Xp::NewPipeListener();
        ASSERT_TRUE(listener);
        ASSERT_EQ(VDAPI_OK, listener->Create(name));
        client = Xp::NewPipeConnection();
        ASSERT_TRUE(client);
        ASSERT_EQ(VDAPI_OK, client->Init());
        ASSERT_EQ(VDAPI_OK, client->Connect(name));
        ASSERT_EQ(VDAPI_OK, listener->Accept(server, 10000));
        ASSERT_TRUE(server);
    }

    /// A socket file that exists but has nobody listening: every connect is refused.
    void makeRefusingSocket(const char* name)
    {
        std::filesystem::create_directories(runDir.path() + "/pipe");
        UnixSocketAddress address;
        ASSERT_EQ(VDAPI_OK, address.assign(RunDir::pipe(name)));
        refusing = NewUnixStreamSocket(false);
        ASSERT_EQ(0, ::bind(refusing.get(), address.get(), address.length()));
    }

    TestSupport::TempRunDir runDir;
    std::unique_ptr<IXpPipeListener> listener;
    std::unique_ptr<IXpPipeConnection> client;
    std::unique_ptr<IXpPipeConnection> server;
    UniqueFd refusing;
};

TEST_F(PipeTest, BytesTravelBothWaysAndASecondConnectIsRefused)
{
    connectPair();
    const char request[] = "request";
    ASSERT_EQ(VDAPI_OK, client->Write(request, sizeof(request), 1000));
    char received[sizeof(request)] = {};
    ASSERT_EQ(VDAPI_OK, server->Read(received, sizeof(received), 1000));
    EXPECT_STREQ(request, received);

    std::vector<uint8_t> big(300000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7);
    // Larger than the socket buffer: the write only completes while the client reads.
    auto writer = std::async(std::launch::async,
                             [&] { return server->Write(big.data(), uint32_t(big.size()), 10000); });
    std::vector<uint8_t> back(big.size());
    EXPECT_EQ(VDAPI_OK, client->Read(back.data(), uint32_t(back.size()), 10000));
    EXPECT_EQ(VDAPI_OK, writer.get());
    EXPECT_EQ(big, back);

    EXPECT_EQ(VDAPI_E_IN_USE, client->Connect("TestPipe"));
    client->Close();
    EXPECT_FALSE(client->IsOpen());
    EXPECT_EQ(VDAPI_OK, client->Connect("TestPipe")); // reconnect after Close works
}

TEST_F(PipeTest, OperationsOnAnUnconnectedPipeAreRefused)
{
    auto pipe = Xp::NewPipeConnection();
    char byte = 0;
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe->Read(&byte, 1, 0));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe->Write(&byte, 1, 0));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe->Flush());
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe->ResetCancel());
    pipe->Close(); // harmless
}

TEST_F(PipeTest, NamesAreCheckedBeforeAnythingIsOpened)
{
    XpPipeConnectionPosix pipe(1ms);
    // The full pipe path of the home system ("\\.\pipe\" + name) must stay below 260 characters.
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, pipe.Connect(std::string(251, 'p').c_str()));
    EXPECT_EQ(0, pipe.lastConnectAttempts());
    EXPECT_EQ(VDAPI_E_NOT_FOUND, pipe.Connect(std::string(250, 'p').c_str()));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, pipe.Connect("../escape"));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, pipe.Connect(""));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, pipe.Connect(nullptr));

    XpPipeListenerPosix server;
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, server.Create(std::string(91, 'p').c_str()));
    EXPECT_EQ(VDAPI_OK, server.Create(std::string(90, 'p').c_str()));
}

TEST_F(PipeTest, MissingPipeFailsAtOnceWhileABusyOneIsRetriedTenTimes)
{
    XpPipeConnectionPosix pipe(1ms);
    ASSERT_EQ(VDAPI_OK, pipe.Init());
    EXPECT_EQ(VDAPI_E_NOT_FOUND, pipe.Connect("Nobody"));
    EXPECT_EQ(1, pipe.lastConnectAttempts());

    makeRefusingSocket("Busy");
    EXPECT_EQ(VDAPI_E_NOT_FOUND, pipe.Connect("Busy"));
    EXPECT_EQ(10, pipe.lastConnectAttempts());
    EXPECT_FALSE(pipe.IsOpen());
}

TEST_F(PipeTest, FullAcceptQueueCountsAsBusy)
{
    XpPipeListenerPosix server(0);
    ASSERT_EQ(VDAPI_OK, server.Create("Queue"));
    // Fill the accept queue with clients nobody accepts.
    std::vector<std::unique_ptr<XpPipeConnectionPosix>> waiting;
    for (int i = 0; i < 64; ++i) {
        auto c = std::make_unique<XpPipeConnectionPosix>(1ms);
        if (c->Connect("Queue") != VDAPI_OK) {
            EXPECT_EQ(10, c->lastConnectAttempts());
            break;
        }
        waiting.push_back(std::move(c));
    }
    ASSERT_LT(waiting.size(), 64u) << "the accept queue never filled";

    // Once the server accepts one, the pipe is free again.
    std::unique_ptr<IXpPipeConnection> accepted;
    ASSERT_EQ(VDAPI_OK, server.Accept(accepted, 10000));
    XpPipeConnectionPosix late(1ms);
    EXPECT_EQ(VDAPI_OK, late.Connect("Queue"));
}

TEST_F(PipeTest, ReadAndWriteTimeOutOrReportShortTransfers)
{
    connectPair();
    char buffer[8] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(VDAPI_E_TIMEOUT, client->Read(buffer, sizeof(buffer), 0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s); // "at once", with room for a loaded machine

    // Data already waiting is delivered even with timeout 0.
    ASSERT_EQ(VDAPI_OK, server->Write("abcdefgh", 8, 1000));
    EXPECT_EQ(VDAPI_OK, client->Read(buffer, 8, 0));
    EXPECT_EQ(0, std::memcmp(buffer, "abcdefgh", 8));

    // Part of a message, then silence: a short transfer, not a plain time-out.
    ASSERT_EQ(VDAPI_OK, server->Write("abc", 3, 1000));
    EXPECT_EQ(VDAPI_E_COMMUNICATION, client->Read(buffer, 8, 20));

    // A reader that never reads: the big write fills the buffer (partial), the next cannot start.
    std::vector<uint8_t> big(8 << 20);
    EXPECT_EQ(VDAPI_E_COMMUNICATION, server->Write(big.data(), uint32_t(big.size()), 20));
    EXPECT_EQ(VDAPI_E_TIMEOUT, server->Write(big.data(), 1, 0));

    // Part of a message, then the writer goes away.
    client->Close();
    EXPECT_EQ(VDAPI_E_COMMUNICATION, server->Write("x", 1, 1000));
}

TEST_F(PipeTest, EndOfStreamBeforeAllBytesIsACommunicationError)
{
    connectPair();
    ASSERT_EQ(VDAPI_OK, server->Write("abc", 3, 1000));
    server->Close();
    char buffer[8];
    EXPECT_EQ(VDAPI_E_COMMUNICATION, client->Read(buffer, sizeof(buffer), kXpInfinite));
}

TEST_F(PipeTest, CancelEndsABlockedReadUntilResetCancel)
{
    connectPair();
    std::atomic<bool> reading{false};
    auto reader = std::async(std::launch::async, [&] {
        char byte = 0;
        reading = true;
        return client->Read(&byte, 1, kXpInfinite);
    });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return reading.load(); }));
    client->Cancel();
    ASSERT_EQ(std::future_status::ready, reader.wait_for(10s));
    EXPECT_EQ(VDAPI_E_CANCELLED, reader.get());

    // Still cancelled until reset, even with data waiting.
    ASSERT_EQ(VDAPI_OK, server->Write("z", 1, 1000));
    char byte = 0;
    EXPECT_EQ(VDAPI_E_CANCELLED, client->Read(&byte, 1, 1000));
    EXPECT_EQ(VDAPI_E_CANCELLED, client->Write(&byte, 1, 1000));
    ASSERT_EQ(VDAPI_OK, client->ResetCancel());
    EXPECT_EQ(VDAPI_OK, client->Read(&byte, 1, 1000));
    EXPECT_EQ('z', byte);
}

TEST_F(PipeTest, CancelEndsABlockedWrite)
{
    connectPair();
    std::vector<uint8_t> big(8 << 20);
    std::atomic<bool> writing{false};
    auto writer = std::async(std::launch::async, [&] {
        writing = true;
        return client->Write(big.data(), uint32_t(big.size()), kXpInfinite);
    });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return writing.load(); }));
    client->Cancel();
    ASSERT_EQ(std::future_status::ready, writer.wait_for(10s));
    EXPECT_EQ(VDAPI_E_CANCELLED, writer.get());
}

TEST_F(PipeTest, FlushDiscardsOnlyWhatIsWaiting)
{
    connectPair();
    std::vector<uint8_t> junk(1234, 0xEE);
    ASSERT_EQ(VDAPI_OK, server->Write(junk.data(), uint32_t(junk.size()), 1000));
    // A local stream socket queues written bytes at the reader at once, so all of it is waiting now.
    EXPECT_EQ(VDAPI_OK, client->Flush());
    ASSERT_EQ(VDAPI_OK, server->Write("n", 1, 1000));
    char byte = 0;
    EXPECT_EQ(VDAPI_OK, client->Read(&byte, 1, 1000));
    EXPECT_EQ('n', byte);
}

TEST_F(PipeTest, ListenerRefusesALiveNameButReplacesALeftover)
{
    connectPair("Shared");
    XpPipeListenerPosix second;
    EXPECT_EQ(VDAPI_E_IN_USE, second.Create("Shared"));

    makeRefusingSocket("Leftover");
    XpPipeListenerPosix third;
    EXPECT_EQ(VDAPI_OK, third.Create("Leftover"));
    EXPECT_EQ(VDAPI_E_ATTACHED, third.Create("Leftover"));
    XpPipeConnectionPosix pipe(1ms);
    EXPECT_EQ(VDAPI_OK, pipe.Connect("Leftover"));

    third.Close();
    EXPECT_FALSE(std::filesystem::exists(RunDir::pipe("Leftover")));
}

TEST_F(PipeTest, AcceptTimesOutAndStopEndsAWaitingAccept)
{
    XpPipeListenerPosix server;
    std::unique_ptr<IXpPipeConnection> connection;
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, server.Accept(connection, 0));
    ASSERT_EQ(VDAPI_OK, server.Create("Lonely"));
    EXPECT_EQ(VDAPI_E_TIMEOUT, server.Accept(connection, 0));

    std::atomic<bool> accepting{false};
    auto acceptor = std::async(std::launch::async, [&] {
        std::unique_ptr<IXpPipeConnection> c;
        accepting = true;
        return server.Accept(c, kXpInfinite);
    });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return accepting.load(); }));
    server.Stop();
    ASSERT_EQ(std::future_status::ready, acceptor.wait_for(10s));
    EXPECT_EQ(VDAPI_E_CANCELLED, acceptor.get());
    EXPECT_EQ(VDAPI_E_CANCELLED, server.Accept(connection, 0));
}

} // namespace
} // namespace Vdapi
