// JsonRpcClient receive path: frames across chunks reach the handlers; overflow and bad
// headers are logged and do not stop later frames; the announcement's contents; the count
// of notifications that could not be delivered.
#include "TestClient.h"
#include "ThisProcess.h" // tests/framework/posix/ or tests/framework/windows/

#include "framework/Frame.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kel::Json;
using testing_support::ClientFixture;

class ClientReceive : public ::testing::Test, public ClientFixture {
protected:
    ClientReceive()
    {
        client.addMethod("count", [this](const Json& r) {
            seen.push_back(r.value("params", Json()));
            return kel::makeResult(kel::requestId(r), seen.size());
        });
    }

    void feed(const std::string& bytes)
    {
        client.receiveBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

    static std::string frame(const Json& params)
    {
        const Json request = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "count"}, {"params", params}};
        return kel::frame::framed(request.dump());
    }

    bool errorLogged(const std::string& text) { return captured.waitFor(0, "JsonRpcClient", text); }

    std::vector<Json> seen; // receiving side only: filled by feed() on this thread
};

TEST_F(ClientReceive, FramesSplitAnywhereAreDispatched)
{
    const std::string bytes = frame(1) + frame(2);
    for (char c : bytes)
        feed(std::string(1, c));
    EXPECT_EQ(seen, (std::vector<Json>{1, 2})); // several frames in one chunk: ChunkLargerThanTheRing...
}

TEST_F(ClientReceive, ChunkLargerThanTheRingIsTakenInPiecesWithoutLoss)
{
    const std::string big = frame(std::string(999000, 'b')); // nearly the whole ring
    feed(frame(1).substr(0, 10));
    feed(frame(1).substr(10) + big + frame(3) + big + frame(5));
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[1].get_ref<const std::string&>().size(), 999000u);
    EXPECT_EQ(seen[4], 5);
    for (const auto& message : captured.messages())
        EXPECT_NE(message.level, 0u) << message.text();
}

TEST_F(ClientReceive, BadHeaderDiscardsTheBufferAndLaterFramesWork)
{
    feed("garbage!" + frame(1));
    EXPECT_TRUE(errorLogged("Error: invalid frame header, discarded " + std::to_string(8 + frame(1).size()) + " bytes."));
    EXPECT_TRUE(seen.empty());
    feed(std::string("KL\0\0\0\0", 6));
    EXPECT_TRUE(errorLogged("Error: invalid frame header, discarded 6 bytes."));
    feed(frame(2));
    EXPECT_EQ(seen, (std::vector<Json>{2}));
}

TEST_F(ClientReceive, FrameLongerThanTheRingFillsItUntilAChunkIsDroppedWhole)
{
    // The frame before it comes out; the long frame waits while its chunks fit.
    feed(frame(1) + std::string("KL\x7f\xff\xff\xff", 6) + std::string(500000, 'p'));
    feed(std::string(499990, 'p')); // 1,000,000 - 500,006 - 4: fits
    EXPECT_EQ(seen, (std::vector<Json>{1}));
    feed(std::string(4, 'p')); // exactly the free room: dropped whole
    EXPECT_TRUE(errorLogged("Error: RX buffer is full, dropped 4 bytes."));
    // What was buffered is gone and later frames work (the largest frame that fits: FrameReader).
    feed(frame(2));
    EXPECT_EQ(seen, (std::vector<Json>{1, 2}));
    for (const auto& message : captured.messages())
        EXPECT_EQ(message.text().find("invalid frame header"), std::string::npos) << message.text();
}

TEST_F(ClientReceive, DisconnectionForgetsAHalfReceivedFrame)
{
    feed(frame(1).substr(0, 20));
    client.onDisconnected();
    EXPECT_TRUE(captured.waitFor(3, "JsonRpcClient", "Disconnected from GUI"));
    feed(frame(2));
    EXPECT_EQ(seen, (std::vector<Json>{2}));
}

TEST_F(ClientReceive, AnnouncementCarriesTheProcessAndLogFile)
{
    client.setAppId("brick-7");
    client.onConnected();
    const auto announced = client.waitFor("newConnection", 1);
    ASSERT_EQ(announced.size(), 1u);
    const Json& params = announced[0];
    EXPECT_EQ(params["appType"], "TestApp");
    EXPECT_EQ(params["appId"], "brick-7");
    EXPECT_EQ(params["pid"], thisProcessId());
    EXPECT_EQ(params["logFilePath"], "");
    const std::string exe = thisExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(params["exePath"], exe);
    EXPECT_TRUE(captured.waitFor(2, "JsonRpcClient", "Application connected to GUI"));
}

// The client's own sending (not the test client's capture): what it cannot deliver is counted
// in the report line, also when no connection exists and after the stop.
TEST_F(ClientReceive, UndeliveredNotificationsAreCountedAndReportedAtTheStop)
{
    const Json note = kel::makeNotification("scheduledCommandExecuted", Json::object());
    for (int i = 0; i < 3; ++i)
        client.JsonRpcClient::onNotification(note);
    client.shutdown(); // reports the open window without waiting 5 s
    client.JsonRpcClient::onNotification(note);
    const std::string line = " packets were unavailable for Json-Rpc notifications";
    EXPECT_TRUE(captured.waitFor(LogLevel::Error, "JsonRpcClient", "3" + line));
    EXPECT_TRUE(captured.waitFor(LogLevel::Error, "JsonRpcClient", "1" + line));
}

} // namespace
