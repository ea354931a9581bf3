// Pipes through the platform facade, alike on every system: our listener and clients against each
// other, reads in parts, short transfers, flushing and a server going away, names and unconnected
// ends checked, cancel and stop.
#include "PipePair.h"

#include "tests/support/WaitUntil.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <vector>

namespace Vdapi {
namespace {

using namespace std::chrono_literals;
using PlatformTest::PipePair;

using PipeTest = PipePair;

TEST_F(PipeTest, BytesTravelBothWaysOneClientPerConnectionAndReconnectAfterClose)
{
    const std::string name = names("Both");
    connectPair(name);
    const char request[] = "request";
    ASSERT_EQ(VDAPI_OK, client->Write(request, sizeof(request), 5000));
    char received[sizeof(request)] = {};
    ASSERT_EQ(VDAPI_OK, server->Read(received, sizeof(received), 5000));
    EXPECT_STREQ(request, received);

    // Far larger than the system's buffers: the write completes only while the other end reads.
    std::vector<uint8_t> big(300000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7);
    auto writer = std::async(std::launch::async,
                             [&] { return server->Write(big.data(), uint32_t(big.size()), 20000); });
    std::vector<uint8_t> back(big.size());
    EXPECT_EQ(VDAPI_OK, client->Read(back.data(), uint32_t(back.size()), 20000));
    EXPECT_EQ(VDAPI_OK, writer.get());
    EXPECT_EQ(big, back);

    EXPECT_EQ(VDAPI_E_IN_USE, client->Connect(name.c_str()));
    // A second client gets its own connection while the first stays connected.
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

TEST_F(PipeTest, PartsShortTransfersFlushAndTheServerGoingAway)
{
    connectPair(names("Parts"));
    char buffer[16] = {};
    // Data already waiting is delivered even with timeout 0, and in parts: one 10-byte write read
    // as 4 + 6 (on Windows the first read of a message ends with "more data", which is success).
    ASSERT_EQ(VDAPI_OK, server->Write("0123456789", 10, 1000));
    EXPECT_EQ(VDAPI_OK, client->Read(buffer, 4, 0));
    EXPECT_EQ(0, std::memcmp(buffer, "0123", 4));
    EXPECT_EQ(VDAPI_OK, client->Read(buffer, 6, kXpInfinite));
    EXPECT_EQ(0, std::memcmp(buffer, "456789", 6));
    // Two writes make one read of their sum.
    ASSERT_EQ(VDAPI_OK, server->Write("ab", 2, 1000));
    ASSERT_EQ(VDAPI_OK, server->Write("cd", 2, 1000));
    EXPECT_EQ(VDAPI_OK, client->Read(buffer, 4, 5000));
    EXPECT_EQ(0, std::memcmp(buffer, "abcd", 4));

    // Part of a read, then silence: a short transfer, not a plain time-out.
    ASSERT_EQ(VDAPI_OK, server->Write("abc", 3, 1000));
    EXPECT_EQ(VDAPI_E_COMMUNICATION, client->Read(buffer, 8, 20));

    // What is waiting (more than one chunk of the flush) is dropped; what comes after it is read.
    std::vector<uint8_t> junk(1234, 0xEE);
    ASSERT_EQ(VDAPI_OK, server->Write(junk.data(), uint32_t(junk.size()), 1000));
    EXPECT_EQ(VDAPI_OK, client->Flush());
    ASSERT_EQ(VDAPI_OK, server->Write("n", 1, 1000));
    EXPECT_EQ(VDAPI_OK, client->Read(buffer, 1, 1000));
    EXPECT_EQ('n', buffer[0]);

    // The server goes away (what it wrote and nobody read may be dropped): reading and writing
    // fail as a broken exchange, also when the read waits without a time limit.
    ASSERT_EQ(VDAPI_OK, server->Write("xy", 2, 1000));
    server->Close();
    EXPECT_EQ(VDAPI_E_COMMUNICATION, client->Read(buffer, 4, kXpInfinite));
    EXPECT_EQ(VDAPI_E_COMMUNICATION, client->Write("z", 1, 5000));
}

TEST_F(PipeTest, NamesUnconnectedPipesAndListenersAreChecked)
{
    auto pipe = PlatformTest::quickPipe();
    char byte = 0;
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe->Read(&byte, 1, 0));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe->Write(&byte, 1, 0));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe->Flush());
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, pipe->ResetCancel());
    pipe->Close(); // harmless
    // The full pipe path of the home system ("\\.\pipe\" + name) must stay below 260 characters.
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, pipe->Connect(std::string(251, 'p').c_str()));
    EXPECT_EQ(0, pipe->lastConnectAttempts());
    EXPECT_EQ(VDAPI_E_NOT_FOUND, pipe->Connect(std::string(250, 'p').c_str()));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, pipe->Connect(names("Nobody").c_str()));
    EXPECT_EQ(1, pipe->lastConnectAttempts()); // a missing pipe is not retried
    EXPECT_EQ(VDAPI_E_INVALID_ARG, pipe->Connect(""));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, pipe->Connect(nullptr));
    EXPECT_FALSE(pipe->IsOpen());

    auto server = Xp::NewPipeListener();
    std::unique_ptr<IXpPipeConnection> connection;
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, server->Accept(connection, 0));
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, server->Create(std::string(91, 'p').c_str())); // 99 in all
    const std::string name = names("Owned");
    ASSERT_EQ(VDAPI_OK, server->Create(name.c_str()));
    EXPECT_EQ(VDAPI_E_ATTACHED, server->Create(name.c_str()));
    auto rival = Xp::NewPipeListener();
    EXPECT_EQ(VDAPI_E_IN_USE, rival->Create(name.c_str()));
    server->Close();
    EXPECT_EQ(VDAPI_OK, rival->Create(name.c_str()));
}

TEST_F(PipeTest, CancelEndsABlockedReadUntilResetCancelAndABlockedWrite)
{
    connectPair(names("Cancel"));
    char byte = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(VDAPI_E_TIMEOUT, client->Read(&byte, 1, 0));   // nothing waiting
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s); // "at once", with room for a loaded machine

    std::atomic<bool> reading{false};
    auto reader = std::async(std::launch::async, [&] {
        char b = 0;
        reading = true;
        return client->Read(&b, 1, 60000);
    });
    ASSERT_TRUE(waitUntil([&] { return reading.load(); }, 20s));
    client->Cancel();
    ASSERT_EQ(std::future_status::ready, reader.wait_for(20s));
    EXPECT_EQ(VDAPI_E_CANCELLED, reader.get());

    // Still cancelled until reset, even with data waiting.
    ASSERT_EQ(VDAPI_OK, server->Write("z", 1, 5000));
    EXPECT_EQ(VDAPI_E_CANCELLED, client->Read(&byte, 1, 5000));
    EXPECT_EQ(VDAPI_E_CANCELLED, client->Write(&byte, 1, 5000));
    ASSERT_EQ(VDAPI_OK, client->ResetCancel());
    EXPECT_EQ(VDAPI_OK, client->Read(&byte, 1, 5000));
    EXPECT_EQ('z', byte);

    // A read without time limit waits in the system: the cancel breaks it off as well.
    std::atomic<bool> waiting{false};
    auto endless = std::async(std::launch::async, [&] {
        char b = 0;
        waiting = true;
        return client->Read(&b, 1, kXpInfinite);
    });
    ASSERT_TRUE(waitUntil([&] { return waiting.load(); }, 20s));
    client->Cancel();
    ASSERT_EQ(std::future_status::ready, endless.wait_for(20s));
    // Cancelled in the system's wait or before it began.
    const VdResult r = endless.get();
    EXPECT_TRUE(r == VDAPI_E_CANCELLED || r == PlatformTest::kCancelledInSystemWait) << r;

    // A write far larger than the pipe holds, to a reader that does not read, is broken off too.
    std::vector<uint8_t> big(8 << 20);
    std::atomic<bool> writing{false};
    auto writer = std::async(std::launch::async, [&] {
        writing = true;
        return server->Write(big.data(), uint32_t(big.size()), kXpInfinite);
    });
    ASSERT_TRUE(waitUntil([&] { return writing.load(); }, 20s));
    server->Cancel();
    ASSERT_EQ(std::future_status::ready, writer.wait_for(20s));
    const VdResult w = writer.get();
    EXPECT_TRUE(w == VDAPI_E_CANCELLED || w == PlatformTest::kCancelledInSystemWait) << w;
}

TEST_F(PipeTest, AcceptTimesOutAndStopEndsAWaitingAccept)
{
    auto server = Xp::NewPipeListener();
    ASSERT_EQ(VDAPI_OK, server->Create(names("Lonely").c_str()));
    std::unique_ptr<IXpPipeConnection> connection;
    EXPECT_EQ(VDAPI_E_TIMEOUT, server->Accept(connection, 0));

    std::atomic<bool> accepting{false};
    auto acceptor = std::async(std::launch::async, [&] {
        std::unique_ptr<IXpPipeConnection> c;
        accepting = true;
        return server->Accept(c, kXpInfinite);
    });
    ASSERT_TRUE(waitUntil([&] { return accepting.load(); }, 20s));
    server->Stop();
    ASSERT_EQ(std::future_status::ready, acceptor.wait_for(20s));
    EXPECT_EQ(VDAPI_E_CANCELLED, acceptor.get());
    EXPECT_EQ(VDAPI_E_CANCELLED, server->Accept(connection, 0));
}

} // namespace
} // namespace Vdapi
