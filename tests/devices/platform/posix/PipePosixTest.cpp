// Pipes as Unix sockets below the run directory: what only they show (busy sockets, a full accept
// queue, short writes into a full buffer, leftover socket files).
#include "tests/devices/platform/PipePair.h"

#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/UnixSocket.h"
#include "devices/platform/posix/XpPipeConnectionPosix.h"
#include "devices/platform/posix/XpPipeListenerPosix.h"

#include <sys/socket.h>

#include <filesystem>
#include <vector>

namespace Vdapi {
namespace {

using namespace std::chrono_literals;

class PipePosixTest : public PlatformTest::PipePair {
protected:
    /// A socket file that exists but has nobody listening: every connect is refused.
    void makeRefusingSocket(const char* name)
    {
        std::filesystem::create_directories(RunDir::root() + "/pipe");
        UnixSocketAddress address;
        ASSERT_EQ(VDAPI_OK, address.assign(RunDir::pipe(name)));
        refusing = NewUnixStreamSocket(false);
        ASSERT_EQ(0, ::bind(refusing.get(), address.get(), address.length()));
    }

    UniqueFd refusing;
};

TEST_F(PipePosixTest, NamesStayInsideTheRunDirectory)
{
    XpPipeConnectionPosix pipe(1ms);
    EXPECT_EQ(VDAPI_E_INVALID_ARG, pipe.Connect("../escape"));
    XpPipeListenerPosix server;
    EXPECT_EQ(VDAPI_OK, server.Create(std::string(90, 'p').c_str()));
}

TEST_F(PipePosixTest, BusySocketIsRetriedTenTimesAndAFullAcceptQueueCountsAsBusy)
{
    XpPipeConnectionPosix pipe(1ms);
    ASSERT_EQ(VDAPI_OK, pipe.Init());
    makeRefusingSocket("Busy");
    EXPECT_EQ(VDAPI_E_NOT_FOUND, pipe.Connect("Busy"));
    EXPECT_EQ(10, pipe.lastConnectAttempts());
    EXPECT_FALSE(pipe.IsOpen());

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

// Reads in parts, short reads, the end of stream and a peer gone:
// PipeTest.PartsShortTransfersFlushAndTheServerGoingAway.
TEST_F(PipePosixTest, ShortWritesIntoAFullBuffer)
{
    connectPair("Short");
    // A reader that never reads: the big write fills the buffer (partial), the next cannot start.
    std::vector<uint8_t> big(8 << 20);
    EXPECT_EQ(VDAPI_E_COMMUNICATION, server->Write(big.data(), uint32_t(big.size()), 20));
    EXPECT_EQ(VDAPI_E_TIMEOUT, server->Write(big.data(), 1, 0));
}

TEST_F(PipePosixTest, ListenerReplacesALeftoverSocketAndRemovesItsOwn)
{
    makeRefusingSocket("Leftover");
    XpPipeListenerPosix server;
    EXPECT_EQ(VDAPI_OK, server.Create("Leftover"));
    XpPipeConnectionPosix pipe(1ms);
    EXPECT_EQ(VDAPI_OK, pipe.Connect("Leftover"));

    server.Close();
    EXPECT_FALSE(std::filesystem::exists(RunDir::pipe("Leftover")));
}

} // namespace
} // namespace Vdapi
