// The real halvix binary against a GUI server on its own loopback address: announcement,
// dispatcher errors and batches, control methods, scheduling, status reports, log files,
// reconnection, hostile frames, quit and the command line.
#include "HalvixProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"

#include "framework/Frame.h"
#include "tools/gui/GuiServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using integration::HalvixProcess;
using Json = nlohmann::json;
using namespace std::chrono_literals;

gui::GuiServer::Deadline soon()
{
    return gui::GuiServer::in(10s);
}

std::string framed(const std::string& payload)
{
    std::string out;
    kel::frame::append(out, payload);
    return out;
}

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Polls a file until it contains `text` or 10 s have passed.
bool waitForFileText(const std::string& path, const std::string& text)
{
    return waitUntil([&] { return TempDir::read(path).find(text) != std::string::npos; });
}

class Halvix : public ::testing::Test {
protected:
    /// GUI server on `address`, halvix started against it, connection accepted and the
    /// announcement read.
    void connect(const std::string& address, std::vector<std::string> extra = {})
    {
        server = std::make_unique<gui::GuiServer>(address);
        server->setReceiveBufferSize(receiveBufferSize);
        ASSERT_TRUE(server->listen()) << server->listen().message;
        std::vector<std::string> args = {"--server_address", address};
        args.insert(args.end(), extra.begin(), extra.end());
        halvix = std::make_unique<HalvixProcess>(args);
        ASSERT_TRUE(halvix->started());
        auto accepted = server->accept(soon());
        ASSERT_TRUE(accepted) << accepted.message << "\n" << halvix->output();
        auto hello = server->nextNotification("newConnection", soon());
        ASSERT_TRUE(hello) << hello.message;
        announcement = hello.value["params"];
    }

    Json call(const std::string& method, const Json& params = Json::object())
    {
        auto response = server->call(method, params, soon());
        EXPECT_TRUE(response) << method << ": " << response.message;
        return response.value;
    }

    Json next()
    {
        auto message = server->next(soon());
        EXPECT_TRUE(message) << message.message;
        return message.value;
    }

    static Json error1000(const std::string& message) { return {{"code", 1000}, {"message", message}, {"data", Json::object()}}; }

    void quitAndExpectExitCode0()
    {
        ASSERT_TRUE(server->sendNotification("quit"));
        EXPECT_TRUE(server->waitDisconnected(soon()));
        EXPECT_EQ(halvix->waitExit(), 0) << halvix->output();
    }

    int receiveBufferSize = 0; // the GUI's kernel receive buffer; 0: the default
    std::unique_ptr<gui::GuiServer> server;
    std::unique_ptr<HalvixProcess> halvix;
    Json announcement;
};

TEST_F(Halvix, AnnouncesItselfLogsToItsFileAndQuitsWithExitCodeZero)
{
    TempDir dir;
    const std::string logFile = dir.path() + "/halvix.log";
    connect("127.0.66.2", {"--app_id", "brick one", "--log_file_path", logFile});
    char exe[PATH_MAX];
    ASSERT_NE(realpath(HALVIX_BIN, exe), nullptr);
    EXPECT_EQ(announcement, Json({{"appType", "Halvix"}, {"appId", "brick one"}, {"pid", halvix->pid()},
                                  {"exePath", exe}, {"logFilePath", logFile}}));
    EXPECT_TRUE(halvix->waitForOutput("Info | JsonRpcClient | Application connected to GUI"));
    quitAndExpectExitCode0();
    const std::string output = halvix->output();
    EXPECT_NE(output.find("Info | Halvix | Running Halvix"), std::string::npos);
    EXPECT_NE(output.find("Info | Halvix | Stopping all bricks"), std::string::npos);
    const std::string file = TempDir::read(logFile);
    EXPECT_NE(file.find("Verbose | SharedLogger | Logging to file: " + logFile), std::string::npos);
    EXPECT_NE(file.find("Info | Halvix | Stopping all bricks"), std::string::npos);
}

TEST_F(Halvix, DispatcherErrorsCarryTheirIdsAndEmptyData)
{
    connect("127.0.66.3");
    const auto error = [](Json id, int code, const std::string& message) {
        return Json({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}, {"data", Json::object()}}}});
    };
    ASSERT_TRUE(server->sendRaw(framed("null")));
    EXPECT_EQ(next(), error(nullptr, -32700, "Parse error"));
    ASSERT_TRUE(server->sendRaw(framed("{\"jsonrpc\":")));
    EXPECT_EQ(next(), error(nullptr, -32700, "Parse error"));
    ASSERT_TRUE(server->sendRaw(framed(R"({"jsonrpc":"2.1","method":"getSettings","id":1})")));
    EXPECT_EQ(next(), error(nullptr, -32600, "Invalid request"));
    ASSERT_TRUE(server->sendRaw(framed(R"({"jsonrpc":"2.0","method":"quit","id":3})")));
    EXPECT_EQ(next(), error(3, -32601, "Method not found: quit"));
    ASSERT_TRUE(server->sendRaw(framed(R"({"jsonrpc":"2.0","method":"scanAllDevices","id":4.5})")));
    EXPECT_EQ(next(), error(4.5, -32601, "Method not found: scanAllDevices"));
}

TEST_F(Halvix, BatchesAndChunkingAreHandledOnTheWire)
{
    connect("127.0.66.4");
    ASSERT_TRUE(server->sendRaw(framed(R"([{"jsonrpc":"2.0","method":"getSettings","id":10},)"
                                       R"({"jsonrpc":"2.0","method":"noSuchNotification"},)"
                                       R"(5,)"
                                       R"([],)"
                                       R"({"jsonrpc":"2.0","method":"start","id":11}])")));
    EXPECT_EQ(next(), Json::parse(R"([{"jsonrpc":"2.0","id":10,"result":{}},)"
                                  R"({"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"Invalid request","data":{}}},)"
                                  R"({"jsonrpc":"2.0","id":11,"result":true}])"));
    // Nothing answers an empty batch, a batch of a batch, or a request with a string id.
    ASSERT_TRUE(server->sendRaw(framed("[]") + framed("[[]]") + framed(R"({"jsonrpc":"2.0","method":"getSettings","id":"x"})")));
    // A frame byte by byte, then two frames in one chunk.
    const std::string single = framed(R"({"jsonrpc":"2.0","method":"getSettings","id":12})");
    for (char byte : single)
        ASSERT_TRUE(server->sendRaw(std::string(1, byte)));
    EXPECT_EQ(next(), Json::parse(R"({"jsonrpc":"2.0","id":12,"result":{}})"));
    ASSERT_TRUE(server->sendRaw(framed(R"({"jsonrpc":"2.0","method":"stop","id":13})") +
                                framed(R"({"jsonrpc":"2.0","method":"getSettings","id":14})")));
    EXPECT_EQ(next()["id"], 13);
    EXPECT_EQ(next()["id"], 14);
    EXPECT_TRUE(halvix->waitForOutput("Verbose | JsonRpcClient | JSON RPC batch found within another batch: []"));
    EXPECT_TRUE(halvix->waitForOutput("Verbose | JsonRpcClient | Notification method getSettings is not supported"));
}

TEST_F(Halvix, ControlMethodsAnswerAndCheckTheirParameters)
{
    connect("127.0.66.5");
    EXPECT_EQ(call("start")["result"], true);
    EXPECT_EQ(call("stop")["result"], true);
    EXPECT_EQ(call("getSettings")["result"], Json::object());
    EXPECT_EQ(call("setCpuMask", {{"cpuMask", "0x1"}})["result"], Json::object());
    const std::string status = TempDir::read("/proc/" + std::to_string(halvix->pid()) + "/status");
    EXPECT_NE(status.find("Cpus_allowed_list:\t0\n"), std::string::npos) << status;
    EXPECT_EQ(call("setCpuMask", {{"cpuMask", "abc"}})["error"], error1000("Failed to set CPU mask: \"abc\""));
    EXPECT_EQ(call("setCpuMask", {{"cpuMask", "0xffffffffffffffff"}})["result"], Json::object());
    EXPECT_EQ(call("setStatusReportInterval", {{"intervalInMs", -1}})["error"], error1000("intervalInMs is negative"));
    EXPECT_EQ(call("setLogFile", Json::array())["error"], error1000("params is not present or is not an object"));
    EXPECT_EQ(call("cancelSchedule", {{"scheduleId", "nope"}})["error"], error1000("No command with ID nope has been scheduled"));
    EXPECT_EQ(call("schedule", {{"time", 0}, {"scheduleId", "q"}, {"cmd", {{"method", "quit"}}}})["error"],
              error1000("Scheduled method is not supported"));
    EXPECT_EQ(call("schedule", {{"time", 0}, {"scheduleId", "s"}, {"cmd", {{"method", 1}}}})["error"],
              error1000("method is not present in cmd, or is not a string"));
}

TEST_F(Halvix, ScheduledCommandsRunInOrderAndCanBeCancelled)
{
    connect("127.0.66.6");
    const auto schedule = [&](int64_t time, const std::string& id, const Json& cmd) {
        EXPECT_EQ(call("schedule", {{"time", time}, {"scheduleId", id}, {"cmd", cmd}})["result"], Json::object());
    };
    // Generous margins: a sanitizer build answers each call in tens of milliseconds.
    const int64_t t = nowMs() + 3000;
    schedule(t, "b", {{"method", "getSettings"}, {"id", 2}});
    schedule(t, "a", {{"method", "getSettings"}});
    schedule(t - 1000, "victim", {{"method", "stop"}});
    schedule(-1000, "past", {{"method", "schedule"},
                             {"params", {{"time", t}, {"scheduleId", "inner"}, {"cmd", {{"method", "start"}}}}}});
    EXPECT_EQ(call("cancelSchedule", {{"scheduleId", "victim"}})["result"], Json::object());
    EXPECT_EQ(call("cancelSchedule", {{"scheduleId", "victim"}})["error"],
              error1000("No command with ID victim has been scheduled"));
    std::vector<Json> ran;
    for (int i = 0; i < 4; ++i) {
        auto report = server->nextNotification("scheduledCommandExecuted", soon());
        ASSERT_TRUE(report) << report.message;
        ran.push_back(report.value["params"]);
    }
    EXPECT_EQ(ran[0]["scheduleId"], "past");
    EXPECT_EQ(ran[1], Json({{"scheduleId", "b"}, {"cmd", {{"method", "getSettings"}, {"id", 2}}}, {"result", Json::object()}, {"error", nullptr}}));
    EXPECT_EQ(ran[2]["scheduleId"], "a");
    EXPECT_EQ(ran[3], Json({{"scheduleId", "inner"}, {"cmd", {{"method", "start"}}}, {"result", true}, {"error", nullptr}}));
}

TEST_F(Halvix, StatusReportsComeAtTheirIntervalAndStop)
{
    connect("127.0.66.7");
    EXPECT_EQ(call("setStatusReportInterval", {{"intervalInMs", 50}})["result"], Json::object());
    for (int i = 0; i < 3; ++i) {
        auto report = server->nextNotification("newStatusReport", soon());
        ASSERT_TRUE(report) << report.message;
        EXPECT_EQ(report.value, Json({{"jsonrpc", "2.0"}, {"method", "newStatusReport"}, {"params", Json::object()}}));
    }
    EXPECT_EQ(call("setStatusReportInterval", {{"intervalInMs", 0}})["result"], Json::object());
    // Notifications leave in queue order: once a marker queued after the stop has arrived,
    // every report made before the stop has arrived too. None may follow a later marker.
    const auto marker = [&](const std::string& id, int64_t time) {
        call("schedule", {{"time", time}, {"scheduleId", id}, {"cmd", {{"method", "getSettings"}}}});
        return server->nextMatching([&](const Json& m) { return m.value("method", "") == "scheduledCommandExecuted"; }, soon());
    };
    ASSERT_TRUE(marker("m1", 0));
    while (server->pendingCount() > 0)
        next();
    ASSERT_TRUE(marker("m2", nowMs() + 300));
    EXPECT_EQ(server->pendingCount(), 0u);
}

TEST_F(Halvix, SetLogFileWritesTheNewFileAndReportsAnUnusablePath)
{
    TempDir dir;
    connect("127.0.66.8");
    const std::string path = dir.path() + "/switched.log";
    EXPECT_EQ(call("setLogFile", {{"path", path}})["result"], Json::object());
    EXPECT_TRUE(waitForFileText(path, "Verbose | SharedLogger | Logging to file: " + path));
    const std::string bad = dir.path() + "/no/such/dir.log";
    EXPECT_EQ(call("setLogFile", {{"path", bad}})["result"], Json::object());
    EXPECT_TRUE(halvix->waitForOutput("Error | SharedLogger | Could not use file: " + bad));
    EXPECT_TRUE(waitForFileText(path, "Could not use file: " + bad)); // the old file stays active
    quitAndExpectExitCode0();
}

TEST_F(Halvix, ReconnectsAfterTheGuiDropsTheConnectionAndForgetsHalfFrames)
{
    connect("127.0.66.9", {"--app_id", "again"});
    ASSERT_TRUE(server->sendRaw(framed(R"({"jsonrpc":"2.0","method":"getSettings","id":1})").substr(0, 9)));
    server->disconnect();
    EXPECT_TRUE(halvix->waitForOutput("Verbose | JsonRpcClient | Disconnected from GUI"));
    ASSERT_TRUE(server->accept(soon()));
    auto hello = server->nextNotification("newConnection", soon());
    ASSERT_TRUE(hello) << hello.message;
    EXPECT_EQ(hello.value["params"], announcement);
    EXPECT_EQ(call("getSettings")["result"], Json::object());
    quitAndExpectExitCode0();
}

TEST_F(Halvix, GarbageAndOversizedFramesAreDiscardedAndTheConnectionGoesOn)
{
    connect("127.0.66.10");
    // Six bytes: split or not, they are refused as one header and leave nothing behind.
    ASSERT_TRUE(server->sendRaw("garbag"));
    EXPECT_TRUE(halvix->waitForOutput("Error | JsonRpcClient | Error: invalid frame header, discarded"));
    EXPECT_EQ(call("getSettings")["result"], Json::object());
    // The largest frames that fit are received whole, twice in a row.
    const Json big = {{"jsonrpc", "2.0"}, {"method", "getSettings"}, {"id", 77}, {"params", std::string(999000, 'p')}};
    ASSERT_TRUE(server->sendRaw(framed(big.dump()) + framed(big.dump())));
    EXPECT_EQ(next()["id"], 77);
    EXPECT_EQ(next()["id"], 77);
    // A frame of 2,000,000 bytes behind a request: the request is answered, the long frame
    // fills the receive buffer until a chunk is dropped, and a fresh connection works.
    ASSERT_TRUE(server->sendRaw(framed(R"({"jsonrpc":"2.0","method":"getSettings","id":78})") +
                                std::string("KL\x00\x1e\x84\x80", 6) + std::string(2000000, 'p')));
    EXPECT_EQ(next()["id"], 78);
    EXPECT_TRUE(halvix->waitForOutput("Error | JsonRpcClient | Error: RX buffer is full, dropped "));
    server->disconnect();
    ASSERT_TRUE(server->accept(soon()));
    ASSERT_TRUE(server->nextNotification("newConnection", soon()));
    EXPECT_EQ(call("start")["result"], true);
    quitAndExpectExitCode0();
}

TEST_F(Halvix, QuitDeliversNotificationsStillQueued)
{
    connect("127.0.66.11");
    // The first status report is queued before "quit" can join the status thread.
    ASSERT_TRUE(server->sendRaw(framed(R"({"jsonrpc":"2.0","method":"setStatusReportInterval","id":1,"params":{"intervalInMs":100000}})") +
                                framed(R"({"jsonrpc":"2.0","method":"quit"})")));
    EXPECT_TRUE(server->nextReply(1, soon()));
    EXPECT_TRUE(server->nextNotification("newStatusReport", soon()));
    EXPECT_TRUE(server->waitDisconnected(soon()));
    EXPECT_EQ(halvix->waitExit(), 0) << halvix->output();
}

TEST_F(Halvix, NotificationsAGuiDoesNotReadInTimeAreCountedAsUnavailable)
{
    // A GUI with a 4096-byte receive buffer schedules 3,000 commands in one batch and reads
    // nothing until the last one (a switch of the log file) has run, then quits at once,
    // well inside the 5 s window of the first loss. Every report that did not arrive must
    // be in the count of the "unavailable" line(s).
    TempDir dir;
    receiveBufferSize = 4096;
    connect("127.0.66.13");
    constexpr int commands = 3000;
    const std::string marker = dir.path() + "/marker.log";
    Json batch = Json::array();
    for (int i = 0; i <= commands; ++i) {
        const Json cmd = i < commands ? Json({{"method", "getSettings"}})
                                      : Json({{"method", "setLogFile"}, {"params", {{"path", marker}}}});
        batch.push_back({{"jsonrpc", "2.0"}, {"id", i + 1}, {"method", "schedule"},
                         {"params", {{"time", 0}, {"scheduleId", std::to_string(i)}, {"cmd", cmd}}}});
    }
    ASSERT_TRUE(server->sendRaw(framed(batch.dump())));
    ASSERT_TRUE(waitForFileText(marker, "Logging to file: " + marker));
    ASSERT_TRUE(server->sendNotification("quit"));
    ASSERT_TRUE(server->waitDisconnected(gui::GuiServer::in(60s)));
    ASSERT_EQ(halvix->waitExit(), 0) << halvix->output();
    int delivered = 0;
    while (server->pendingCount() > 0) {
        const Json message = next(); // the batch's reply is an array
        delivered += message.is_object() && message.value("method", "") == "scheduledCommandExecuted";
    }
    uint64_t counted = 0;
    const std::string line = " packets were unavailable for Json-Rpc notifications";
    for (const std::string& text : halvix->lines()) {
        const std::string prefix = "Error | JsonRpcClient | ";
        if (text.rfind(prefix, 0) == 0 && text.size() > line.size() && text.compare(text.size() - line.size(), line.size(), line) == 0)
            counted += std::stoull(text.substr(prefix.size()));
    }
    RecordProperty("undelivered", commands + 1 - delivered);
    EXPECT_EQ(counted, uint64_t(commands + 1 - delivered)) << halvix->output();
    // A slow build (sanitizers) may send as fast as it schedules: then nothing was lost.
    if (delivered == commands + 1)
        GTEST_SKIP() << "no report was lost: the scenario did not fill the GUI's buffer";
}

TEST(HalvixCommandLine, WithoutArgumentsExitsWithOneAfterTwoLines)
{
    HalvixProcess halvix({});
    ASSERT_TRUE(halvix.started());
    EXPECT_EQ(halvix.waitExit(), 1);
    EXPECT_EQ(halvix.lines(), (std::vector<std::string>{"Error | Halvix | Server address argument is missing",
                                                        "Info | Halvix | Stopping application..."}));
}

TEST_F(Halvix, UnknownOptionsAndMissingValuesWarnAndStartWithDefaults)
{
    connect("127.0.66.12", {"--foo", "--app_id"});
    EXPECT_EQ(announcement["appId"], "");
    quitAndExpectExitCode0();
    const auto lines = halvix->lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Warning | Halvix | Unknown option: --foo");
    EXPECT_EQ(lines[1], "Warning | Halvix | Unknown option: --app_id");
    EXPECT_EQ(lines[2], "Info | Halvix | Running Halvix");
}

} // namespace
