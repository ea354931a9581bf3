// `halvixctl serve` against brick stand-ins: a taken port and the API's errors, a brick that
// leaves in the middle of a scan, a brick that reconnects, and the scheduled scans.
#include "BrickStandIn.h"
#include "ServeProcess.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using nlohmann::json;

#ifdef HALVIXCTL_BIN

namespace servetest {

using Brick = test::BrickStandIn;

/// Answers the enable requests with the flag asked for; "scanDevices" with `report`, or not
/// at all when `report` is null (the test answers it itself).
test::BrickStandIn::Responder brickAnswering(const json& report)
{
    return [report](const json& request) -> json {
        const std::string method = request.value("method", "");
        if (method == "enableNicDeviceScan")
            return Brick::reply(request, request["params"]["nicDeviceScanEnabled"]);
        if (method == "enableDteDeviceScan")
            return Brick::reply(request, request["params"]["dteDeviceScanEnabled"]);
        if (method == "schedule")
            return Brick::reply(request, json::object());
        if (method == "scanDevices" && !report.is_null())
            return Brick::reply(request, report);
        return nullptr;
    };
}

/// The next message of the stand-in with this method, skipping others.
json nextWithMethod(test::BrickStandIn& brick, const std::string& method)
{
    for (json message = brick.nextMessage(20s); !message.is_null(); message = brick.nextMessage(20s)) {
        if (message.value("method", "") == method)
            return message;
    }
    return nullptr;
}

} // namespace servetest

using namespace servetest;

TEST(ServeTest, BadRequestsGetAClearJsonErrorAndABrickGoneMidScanAnswers503)
{
    test::ServeProcess serve("127.0.90.4", 8080);
    ASSERT_TRUE(serve.ready()) << serve.process().errors();
    // Its HTTP port taken, another serve refuses with a clear message and runs no half server.
    test::ChildProcess rival(HALVIXCTL_BIN,
                             {"serve", "--address", "127.0.90.2", "--http", "127.0.90.4:8080"});
    EXPECT_EQ(rival.wait(), 1);
    EXPECT_NE(rival.errors().find("cannot serve HTTP on 127.0.90.4:8080"), std::string::npos)
        << rival.errors();
    // Listening on exactly the address asked for: the page is not on another loopback address.
    EXPECT_EQ(serve.get("/api/bricks").body, "[]");
    httplib::Client elsewhere("127.0.90.3", 8080);
    elsewhere.set_connection_timeout(5s);
    EXPECT_FALSE(elsewhere.Get("/api/bricks"));

    test::BrickStandIn brick("127.0.90.4", 6666, brickAnswering(nullptr));
    ASSERT_TRUE(brick.connectAndAnnounce("slow", 42));
    const json bricks = serve.waitForBricks([](const json& list) { return list.size() == 1 && list[0]["state"] == "idle"; });
    ASSERT_EQ(bricks.size(), 1u) << bricks.dump();
    const std::string id = std::to_string(bricks[0]["id"].get<int>());
    EXPECT_EQ(bricks[0]["appId"], "slow");
    EXPECT_EQ(bricks[0]["pid"], 42);
    EXPECT_TRUE(bricks[0]["appType"] == "Halvix" && bricks[0]["exePath"] == "/stand/in") << bricks.dump();
    EXPECT_EQ(bricks[0]["address"].get<std::string>().rfind("127.0.90.4:", 0), 0u) << bricks.dump();
    EXPECT_TRUE(bricks[0]["connectedSince"].is_string() && bricks[0]["lastScan"].is_null()) << bricks.dump();

    struct Case {
        std::string method, path, body;
        int status;
        std::string message; // a part of the error text
    };
    const std::vector<Case> cases = {
        {"GET", "/api/bricks/99/inventory", "", 404, "no brick with id 99"},
        {"POST", "/api/bricks/x/scan", "{}", 404, "no brick with id x"},
        {"GET", "/api/bricks/" + id + "/inventory", "", 404, "has not been scanned yet"},
        {"POST", "/api/bricks/" + id + "/scan", "{\"nic\": tru", 400, "not JSON"},
        {"POST", "/api/bricks/" + id + "/scan", "[true]", 400, "must be a JSON object"},
        {"POST", "/api/bricks/" + id + "/scan", R"({"nics": true})", 400, "unknown scan option \"nics\""},
        {"POST", "/api/bricks/" + id + "/scan", R"({"dte": "yes"})", 400, "must be true or false"},
        {"GET", "/api/nothing", "", 404, "no such path: GET /api/nothing"},
        {"DELETE", "/api/bricks/" + id, "", 404, "no such path: DELETE"},
        {"GET", "/api/bricks/" + id + "/scan", "", 405, "use POST"},
        {"POST", "/api/bricks", "", 405, "use GET"},
    };
    for (const Case& c : cases) {
        const test::ApiReply answer = serve.request(c.method, c.path, c.body);
        EXPECT_EQ(answer.status, c.status) << c.method << " " << c.path << " " << answer.body;
        ASSERT_TRUE(answer.json.is_object()) << answer.body;
        EXPECT_EQ(answer.json["status"], c.status) << answer.body;
        EXPECT_NE(answer.json.value("error", "").find(c.message), std::string::npos)
            << c.path << ": " << answer.body;
    }
    // None of these reached the brick; the scan below is the first request it sees.
    auto running = std::async(std::launch::async, [&] { return serve.post("/api/bricks/" + id + "/scan", R"({"dte":true})"); });
    const json nic = nextWithMethod(brick, "enableNicDeviceScan");
    EXPECT_EQ(nic["params"], json({{"nicDeviceScanEnabled", false}}));
    const json dte = nextWithMethod(brick, "enableDteDeviceScan");
    EXPECT_EQ(dte["params"], json({{"dteDeviceScanEnabled", true}}));
    ASSERT_FALSE(nextWithMethod(brick, "scanDevices").is_null());
    EXPECT_EQ(serve.get("/api/bricks/" + id).json["state"], "scanning");

    const test::ApiReply second = serve.post("/api/bricks/" + id + "/scan");
    EXPECT_EQ(second.status, 409) << second.body;
    EXPECT_NE(second.json.value("error", "").find("is running already"), std::string::npos) << second.body;

    // The brick leaves before it answers: the waiting request ends with 503, the brick is gone.
    brick.client().stop();
    ASSERT_EQ(running.wait_for(60s), std::future_status::ready);
    const test::ApiReply gone = running.get();
    EXPECT_EQ(gone.status, 503) << gone.body;
    EXPECT_NE(gone.json.value("error", "").find("disconnected"), std::string::npos) << gone.body;
    EXPECT_EQ(serve.waitForBricks([](const json& list) { return list.empty(); }), json::array());
    EXPECT_EQ(serve.post("/api/bricks/" + id + "/quit").status, 404);
    EXPECT_EQ(serve.stop(), 0) << serve.process().errors();
}

TEST(ServeTest, AReconnectedBrickReplacesItsEntryAndScheduledScansFollowTheBrick)
{
    const json firstReport = json::array({{{"deviceName", "VDA-2144:1"}, {"isAvailable", true}, {"type", "ASI"}}});
    test::ServeProcess serve("127.0.90.5", 8080, {"--every", "0.3"});
    ASSERT_TRUE(serve.ready()) << serve.process().errors();

    auto before = std::make_unique<test::BrickStandIn>("127.0.90.5", 6666, brickAnswering(firstReport));
    ASSERT_TRUE(before->connectAndAnnounce("twice", 7));
    // Announced, the brick is asked to scan at once through its scheduler.
    const json schedule = nextWithMethod(*before, "schedule");
    ASSERT_TRUE(schedule.is_object());
    EXPECT_EQ(schedule["params"]["cmd"]["method"], "scanDevices");
    const std::string scheduleId = schedule["params"]["scheduleId"];
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_LE(schedule["params"]["time"].get<int64_t>(), now);
    EXPECT_GT(schedule["params"]["time"].get<int64_t>(), now - 20000);

    // The brick's scheduler ran it: the report arrives as "scheduledCommandExecuted".
    const json scheduledReport = json::array({{{"deviceName", "VDU-215:1"}, {"isAvailable", false}, {"type", "ASI"}}});
    const json executed = {{"scheduleId", scheduleId}, {"cmd", schedule["params"]["cmd"]},
                           {"result", scheduledReport}, {"error", nullptr}};
    ASSERT_TRUE(before->sendJson(kel::makeNotification("scheduledCommandExecuted", executed)));
    const json next = nextWithMethod(*before, "schedule");
    ASSERT_TRUE(next.is_object());
    EXPECT_NE(next["params"]["scheduleId"], scheduleId);
    // S seconds after the report came in, not after the first was due.
    EXPECT_GE(next["params"]["time"].get<int64_t>() - schedule["params"]["time"].get<int64_t>(), 300);
    // The next scan shows once serve has the brick's answer to that "schedule", which may come
    // after the report is listed.
    json bricks = serve.waitForBricks([](const json& list) {
        return list.size() == 1 && list[0]["lastScanSource"] == "schedule" && list[0]["nextScheduledScan"].is_string();
    });
    ASSERT_EQ(bricks.size(), 1u) << bricks.dump();
    const int oldId = bricks[0]["id"];
    EXPECT_EQ(bricks[0]["entries"], 1);
    EXPECT_EQ(serve.get("/api/bricks/" + std::to_string(oldId) + "/inventory").json, scheduledReport);
    // A scheduled result with another scheduleId is not ours.
    ASSERT_TRUE(before->sendJson(kel::makeNotification("scheduledCommandExecuted",
                                                       {{"scheduleId", "someone-else"}, {"result", json::array()}})));

    // The same brick (appId and pid) on a new connection replaces the old entry and keeps its scan.
    test::BrickStandIn after("127.0.90.5", 6666, brickAnswering(firstReport));
    ASSERT_TRUE(after.connectAndAnnounce("twice", 7));
    bricks = serve.waitForBricks([&](const json& list) { return list.size() == 1 && list[0]["id"] != oldId; });
    ASSERT_EQ(bricks.size(), 1u) << bricks.dump();
    const json replaced = bricks[0];
    EXPECT_TRUE(replaced["appId"] == "twice" && replaced["id"] != oldId) << replaced.dump();
    EXPECT_EQ(replaced["entries"], 1) << replaced.dump();
    EXPECT_EQ(serve.get("/api/bricks/" + std::to_string(oldId)).status, 404);
    EXPECT_TRUE(before->waitFor([](int, int disconnects) { return disconnects >= 1; })) << "old connection kept";
    before.reset();

    // A scan through the API replaces the scheduled report.
    const test::ApiReply scanned = serve.post("/api/bricks/" + std::to_string(replaced["id"].get<int>()) + "/scan");
    EXPECT_EQ(scanned.status, 200) << scanned.body;
    EXPECT_EQ(scanned.json, firstReport);
    const json described = serve.get("/api/bricks/" + std::to_string(replaced["id"].get<int>())).json;
    EXPECT_TRUE(described["lastScanSource"] == "api" && described["lastScan"].is_string()) << described.dump();
    EXPECT_TRUE(described["lastScanMs"].is_number_integer() && described["entries"] == 1) << described.dump();
}

#endif // HALVIXCTL_BIN
