// GuiServer against a real TcpClient brick: framing both ways, split and merged frames,
// refused frames, reply matching, deadlines and disconnection.
#include "tools/gui/GuiServer.h"

#include "BrickStandIn.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::chrono_literals;
using gui::GuiError;
using gui::GuiServer;
using kel::frame::framed;
using nlohmann::json;

namespace {

/// A GUI server on an ephemeral loopback port with one connected brick.
struct Connected {
    GuiServer server{"127.0.0.1", 0};
    std::unique_ptr<test::BrickStandIn> brick;

    explicit Connected(test::BrickStandIn::Responder responder = {})
    {
        EXPECT_TRUE(server.listen().ok());
        brick = std::make_unique<test::BrickStandIn>("127.0.0.1", server.port(), std::move(responder));
        brick->start();
        const gui::GuiResult accepted = server.accept(GuiServer::in(10s));
        EXPECT_TRUE(accepted.ok()) << accepted.message;
        EXPECT_EQ(accepted.value["address"], "127.0.0.1");
        EXPECT_TRUE(brick->waitFor([](int connects, int) { return connects == 1; }));
    }
};

} // namespace

TEST(GuiServerTest, FramesTravelBothWaysWhateverTheChunking)
{
    Connected c;
    EXPECT_TRUE(c.server.isConnected());

    // GUI to brick: one frame per message, parsed back intact.
    ASSERT_TRUE(c.server.send(json{{"jsonrpc", "2.0"}, {"method", "hello"}, {"params", {{"n", 1}}}}).ok());
    EXPECT_EQ(c.brick->nextMessage(), (json{{"jsonrpc", "2.0"}, {"method", "hello"}, {"params", {{"n", 1}}}}));

    // Brick to GUI: two frames in one send, then a frame trickled byte by byte (the header too).
    ASSERT_TRUE(c.brick->sendBytes(framed(R"({"a":1})") + framed(R"({"b":2})")));
    const std::string split = framed(R"({"c":[1,2,3]})");
    for (char byte : split)
        ASSERT_TRUE(c.brick->sendBytes(std::string(1, byte)));

    auto first = c.server.next(GuiServer::in(10s));
    ASSERT_TRUE(first.ok()) << first.message;
    EXPECT_EQ(first.value, json({{"a", 1}}));
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).value, json({{"b", 2}}));
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).value, json({{"c", {1, 2, 3}}}));

    // A frame larger than one receive of the brick's connection (65,535 bytes).
    const std::string big(200000, 'x');
    ASSERT_TRUE(c.server.send(json{{"big", big}}).ok());
    EXPECT_EQ(c.brick->nextMessage()["big"], big);
    ASSERT_TRUE(c.brick->sendJson(json{{"big", big}}));
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).value["big"], big);
}

TEST(GuiServerTest, RefusedFramesAreReportedAndNeverTrustedAndGarbageDiscardsTheBufferedBytes)
{
    Connected c;
    c.server.setMaxPayload(1000);

    // Oversized: refused, its payload skipped, and the stream stays in step.
    ASSERT_TRUE(c.brick->sendBytes(framed(std::string(5000, ' ') + "{}") + framed(R"({"after":"big"})")));
    auto refused = c.server.next(GuiServer::in(10s));
    EXPECT_EQ(refused.error, GuiError::BadFrame);
    EXPECT_NE(refused.message.find("5002"), std::string::npos) << refused.message;
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).value, json({{"after", "big"}}));

    // Not JSON: reported, and the next frame still arrives.
    ASSERT_TRUE(c.brick->sendBytes(framed("{not json") + framed("[1]")));
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).error, GuiError::BadJson);
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).value, json({1}));

    // A wrong magic gives one error; the frame that was buffered behind it cannot be found.
    ASSERT_TRUE(c.brick->sendBytes("GARBAGE!" + framed("{}")));
    auto bad = c.server.next(GuiServer::in(10s));
    EXPECT_EQ(bad.error, GuiError::BadFrame);
    EXPECT_NE(bad.message.find("0x47 0x41"), std::string::npos) << bad.message;
    EXPECT_EQ(c.server.next(GuiServer::in(200ms)).error, GuiError::Timeout);

    // Later frames, sent separately, are read again.
    ASSERT_TRUE(c.brick->sendJson(json{{"ok", true}}));
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).value, json({{"ok", true}}));

    ASSERT_TRUE(c.brick->sendBytes(std::string("KL\0\0\0\0", 6)));
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).error, GuiError::BadFrame);
    // An absurd length announced by a good header is refused before anything is allocated.
    ASSERT_TRUE(c.brick->sendBytes(std::string("KL\xFF\xFF\xFF\xFF", 6)));
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).error, GuiError::BadFrame);
    c.server.disconnect();
    EXPECT_TRUE(c.brick->waitFor([](int, int disconnects) { return disconnects == 1; }));
}

TEST(GuiServerTest, ReplyMatchingKeepsOtherMessagesQueued)
{
    Connected c([](const json& request) { return test::BrickStandIn::reply(request, request.value("params", json())); });
    // A notification that arrives before the reply stays queued for later.
    ASSERT_TRUE(c.brick->sendJson(json{{"jsonrpc", "2.0"}, {"method", "newStatusReport"}, {"params", json::object()}}));
    auto reply = c.server.call("echo", json{{"x", 5}}, GuiServer::in(10s));
    ASSERT_TRUE(reply.ok()) << reply.message;
    EXPECT_EQ(reply.value["result"], json({{"x", 5}}));
    EXPECT_EQ(c.server.pendingCount(), 1u);
    auto status = c.server.nextNotification("newStatusReport", GuiServer::in(10s));
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(c.server.pendingCount(), 0u);

    // Ids count up and a reply with another id is not taken for ours.
    const int64_t first = c.server.sendRequest("echo", 1);
    const int64_t second = c.server.sendRequest("echo", 2);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(c.server.nextReply(second, GuiServer::in(10s)).value["result"], 2);
    EXPECT_EQ(c.server.nextReply(first, GuiServer::in(10s)).value["result"], 1);
    EXPECT_EQ(c.server.nextReply(first, GuiServer::in(100ms)).error, GuiError::Timeout);
}

TEST(GuiServerTest, DeadlinesAndDisconnection)
{
    GuiServer lonely("127.0.0.1", 0);
    EXPECT_EQ(lonely.next(GuiServer::in(10ms)).error, GuiError::Disconnected);
    EXPECT_EQ(lonely.accept(GuiServer::in(10ms)).error, GuiError::SocketError); // not listening
    ASSERT_TRUE(lonely.listen().ok());
    EXPECT_EQ(lonely.accept(GuiServer::in(50ms)).error, GuiError::Timeout);
    EXPECT_EQ(lonely.sendRaw("x").error, GuiError::Disconnected);

    // A second server cannot take the same address and port.
    GuiServer twin("127.0.0.1", lonely.port());
    const auto clash = twin.listen();
    EXPECT_EQ(clash.error, GuiError::SocketError);
    EXPECT_NE(clash.message.find("in use"), std::string::npos) << clash.message;
    // Text that is not a dotted quad would resolve to every interface: it is refused, port 0 or not.
    for (const char* wide : {"999.1.1.1", "127.0.99.999", "127.0.0.256", "1.2.3", "1.2.3.4.5", "", "localhost",
                             "1.2.3.4 "}) {
        GuiServer widened(wide, 0);
        const auto refused = widened.listen();
        EXPECT_EQ(refused.error, GuiError::SocketError) << wide;
        EXPECT_NE(refused.message.find("not an IPv4 address"), std::string::npos) << refused.message;
        EXPECT_EQ(widened.port(), 0) << wide;
    }
    EXPECT_TRUE(GuiServer::isDottedQuad("0.0.0.0") && GuiServer::isDottedQuad("255.255.255.255"));

    Connected c;
    EXPECT_EQ(c.server.waitDisconnected(GuiServer::in(50ms)).error, GuiError::Timeout);
    ASSERT_TRUE(c.brick->sendJson(json{{"last", 1}}));
    // The brick leaves right after its last message: that message is still handed out first.
    c.brick->client().stop();
    EXPECT_TRUE(c.server.waitDisconnected(GuiServer::in(10s)).ok());
    EXPECT_FALSE(c.server.isConnected());
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).value, json({{"last", 1}}));
    EXPECT_EQ(c.server.next(GuiServer::in(10s)).error, GuiError::Disconnected);
    EXPECT_EQ(c.server.send(json::object()).error, GuiError::Disconnected);
}
