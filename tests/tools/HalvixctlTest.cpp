// The halvixctl executable against a brick stand-in on its own loopback address: call results
// and errors, timeouts, watch, quit and scan (its usage errors are Tools.HelpVersionAndBadUsage's).
#include "BrickStandIn.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;
using nlohmann::json;

#ifdef HALVIXCTL_BIN

namespace {

/// Runs halvixctl listening on `address`, with a brick stand-in that connects once halvixctl
/// listens and announces itself on every connection.
struct Session {
    Session(const std::string& address, std::vector<std::string> arguments,
            test::BrickStandIn::Responder responder = {})
        : address(address), brick(address, 6666, std::move(responder))
    {
        arguments.insert(arguments.begin(), {"--address", address});
        process = std::make_unique<test::ChildProcess>(HALVIXCTL_BIN, arguments);
    }

    /// Lets the brick connect once halvixctl listens, then announces it.
    bool connectBrick()
    {
        return process->waitForStderr("waiting for a brick to connect on " + address + ":6666...") &&
               brick.connectAndAnnounce("stand-in", 42);
    }

    std::string address;
    test::BrickStandIn brick;
    std::unique_ptr<test::ChildProcess> process; // after the brick: stopped first
};

using test::BrickStandIn;

} // namespace

TEST(HalvixctlTest, CallAndScanPrintTheResultTheTableOrTheError)
{
    const json report = json::parse(R"([
        {"category":"VDA","deviceName":"VDA-2132:1","input":true,"isAvailable":true,"modulations":["dvbt","qamb"],
         "output":false,"port":1,"serial":"2132000606","type":"RF","typeNumber":2132,"apskCapability":false},
        {"category":"NIC","deviceName":"198.51.100.5","input":true,"isAvailable":false,"macAddress":"00-1B-21-0A-0B-0C",
         "ipAddress":"198.51.100.5","output":true,"port":1,"receiveSpeed":"1000000000","redundantTxCapability":false,
         "serial":"840000001","transmissionSpeed":"10000000000","type":"IP","typeNumber":840},
        {"category":"VDA","deviceName":"VDA-2179:1-4","input":true,"isAvailable":true,"matrixCapability":true,
         "numPorts":4,"output":false,"port":1,"serial":"2179000202","type":"4K","typeNumber":2179},
        {"deviceName":7,"modulations":"none"},
        "not an entry"
    ])");
    auto responder = [&](const json& request) -> json {
        if (request["method"] == "echo")
            return BrickStandIn::reply(request, request["params"]);
        if (request["method"] == "scanDevices")
            return BrickStandIn::reply(request, report);
        if (request["method"] == "slow")
            return nullptr; // a brick that never answers
        return json{{"jsonrpc", "2.0"},
                    {"id", request["id"]},
                    {"error", {{"code", 1000}, {"message", "nope"}, {"data", json::object()}}}};
    };
    const std::string header = "DEVICE        KIND  IN/OUT  FREE  SERIAL      DETAILS\n";
    struct Case {
        std::vector<std::string> arguments;
        int code;
        std::string output;
        std::string errors; // a part of standard error
    };
    const std::vector<Case> cases = {
        {{"call", "echo", R"({"n":[1,2]})"}, 0, "{\"n\":[1,2]}\n", "waiting for the reply to echo..."},
        {{"call", "getSettings"}, 1, "", R"(getSettings failed: {"code":1000,"data":{},"message":"nope"})"},
        {{"--timeout", "0.5", "call", "slow"}, 1, "", "timed out after 0.5 s waiting for the reply to slow"},
        // The table tolerates entries with odd or missing members.
        {{"scan"}, 0,
         header +
             "VDA-2132:1    RF    in      yes   2132000606  dvbt,qamb\n"
             "198.51.100.5  IP    in/out  no    840000001   ip 198.51.100.5; mac 00-1B-21-0A-0B-0C; tx 10 Gbit/s rx 1 Gbit/s\n"
             "VDA-2179:1-4  4K    in      yes   2179000202  matrix; 4 ports\n"
             "7             ?     -       ?     ?           \"none\"\n"
             "?             ?     -       ?     ?\n"
             "5 entries, 2 free\n",
         "waiting for the reply to scanDevices..."},
        // --json prints the report exactly as it came, on one line.
        {{"scan", "--json"}, 0, report.dump() + "\n", ""},
        // --kind (any case) and --free keep only the matching rows.
        {{"scan", "--kind", "ip"}, 0,
         "DEVICE        KIND  IN/OUT  FREE  SERIAL     DETAILS\n"
         "198.51.100.5  IP    in/out  no    840000001  ip 198.51.100.5; mac 00-1B-21-0A-0B-0C; tx 10 Gbit/s rx 1 Gbit/s\n"
         "1 entry, 0 free\n(filtered: 1 of 5 entries shown)\n",
         ""},
        {{"scan", "--free"}, 0,
         header +
             "VDA-2132:1    RF    in      yes   2132000606  dvbt,qamb\n"
             "VDA-2179:1-4  4K    in      yes   2179000202  matrix; 4 ports\n"
             "2 entries, 2 free\n(filtered: 2 of 5 entries shown)\n",
         ""},
    };
    int address = 20;
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"--timeout", "20"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        Session session("127.0.60." + std::to_string(address++), arguments, responder);
        ASSERT_TRUE(session.connectBrick());
        EXPECT_EQ(session.process->wait(), c.code) << testing::PrintToString(c.arguments);
        EXPECT_EQ(session.process->output(), c.output) << testing::PrintToString(c.arguments);
        const std::string& errors = session.process->errors();
        EXPECT_NE(errors.find(c.errors), std::string::npos) << errors;
        EXPECT_NE(errors.find(R"(newConnection: {"appId":"stand-in","appType":"Halvix","exePath":"/stand/in","logFilePath":"","pid":42})"),
                  std::string::npos)
            << errors;
    }
}

TEST(HalvixctlTest, TimeoutsAndListenFailuresExitWithOne)
{
    {
        test::ChildProcess ctl(HALVIXCTL_BIN, {"--address", "127.0.60.3", "--timeout", "0.3", "call", "getSettings"});
        EXPECT_EQ(ctl.wait(), 1);
        EXPECT_NE(ctl.errors().find("timed out after 0.3 s waiting for a brick to connect"), std::string::npos)
            << ctl.errors();
        EXPECT_NE(ctl.errors().find("start one with: halvix --server_address 127.0.60.3 --local_address 127.0.60.3"),
                  std::string::npos)
            << ctl.errors();
        EXPECT_EQ(ctl.errors().find("no brick after 10 s"), std::string::npos) << ctl.errors();
    }
    {
        // Past 10 s without a brick the usual causes are named, and the wait goes on to its end.
        test::ChildProcess ctl(HALVIXCTL_BIN, {"--address", "127.0.60.3", "--timeout", "10.5", "quit"});
        EXPECT_EQ(ctl.wait(), 1);
        const std::string errors = ctl.errors();
        const auto hint = errors.find("no brick after 10 s; usually halvix was started with another --server_address");
        EXPECT_NE(hint, std::string::npos) << errors;
        EXPECT_GT(errors.find("timed out after 10.5 s"), hint) << errors;
    }
    {
        ip::TcpSocket occupant;
        ASSERT_EQ(occupant.bind(ip::resolve("127.0.60.5"), 6666), ip::SocketStatus::Done);
        ASSERT_EQ(occupant.listen(), ip::SocketStatus::Done);
        test::ChildProcess ctl(HALVIXCTL_BIN, {"--address", "127.0.60.5", "quit"});
        EXPECT_EQ(ctl.wait(), 1);
        EXPECT_NE(ctl.errors().find("cannot listen on 127.0.60.5:6666"), std::string::npos) << ctl.errors();
    }
}

TEST(HalvixctlTest, WatchPrintsNotificationsAndQuitWaitsForTheBrickToLeave)
{
    {
        Session session("127.0.60.6", {"watch", "--count", "2"});
        ASSERT_TRUE(session.connectBrick());
        ASSERT_TRUE(session.process->waitForStderr("watching notifications..."));
        ASSERT_TRUE(session.brick.sendJson(json{{"jsonrpc", "2.0"}, {"method", "tick"}, {"params", {{"n", 1}}}}));
        ASSERT_TRUE(session.brick.sendJson(json{{"jsonrpc", "2.0"}, {"id", 9}, {"result", 0}})); // not a notification
        ASSERT_TRUE(session.brick.sendJson(json{{"jsonrpc", "2.0"}, {"method", "tick"}, {"params", {{"n", 2}}}}));
        EXPECT_EQ(session.process->wait(), 0) << session.process->errors();
        EXPECT_EQ(session.process->output(), "{\"jsonrpc\":\"2.0\",\"method\":\"tick\",\"params\":{\"n\":1}}\n"
                                              "{\"jsonrpc\":\"2.0\",\"method\":\"tick\",\"params\":{\"n\":2}}\n");
    }
    {
        Session session("127.0.60.7", {"--timeout", "20", "quit"});
        ASSERT_TRUE(session.connectBrick());
        const json quit = session.brick.nextMessage();
        EXPECT_EQ(quit["method"], "quit");
        EXPECT_FALSE(quit.contains("id"));
        ASSERT_TRUE(session.process->waitForStderr("waiting for the brick to disconnect..."));
        session.brick.client().stop();
        EXPECT_EQ(session.process->wait(), 0) << session.process->errors();
    }
}

#endif // HALVIXCTL_BIN
