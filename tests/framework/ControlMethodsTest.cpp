// The built-in control methods and the scheduled commands, driven through the client's
// dispatcher as the receiving thread would.
#include "TestClient.h"
#include "tests/support/TempDir.h"

#include "framework/CommandScheduler.h"
#include "framework/Frame.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

using kel::Json;
using testing_support::ClientFixture;

class ControlMethods : public ::testing::Test, public ClientFixture {
protected:
    static Json error(const std::string& message, const Json& data = Json::object())
    {
        return {{"jsonrpc", "2.0"}, {"id", 1}, {"error", {{"code", 1000}, {"message", message}, {"data", data}}}};
    }
    static Json result(const Json& value) { return {{"jsonrpc", "2.0"}, {"id", 1}, {"result", value}}; }
    static int64_t nowMs() { return kel::CommandScheduler::now() / 10000; }
};

TEST_F(ControlMethods, StartAndStopAnswerWhetherTheApplicationRuns)
{
    EXPECT_EQ(call("start"), result(true));
    EXPECT_EQ(call("stop"), result(false));
    app.startResult = false;
    EXPECT_EQ(call("start"), error("Failed to start", false));
    EXPECT_EQ(app.starts, 2);
    EXPECT_EQ(app.stops, 1);
    EXPECT_EQ(call("getSettings", Json::array()), result({{"answer", 42}}));
}

TEST_F(ControlMethods, ParameterChecksRunInOrderAndTheFirstFailureIsAnswered)
{
    const std::string noParams = "params is not present or is not an object";
    const std::vector<std::tuple<std::string, Json, std::string>> cases = {
        {"schedule", Json(), noParams},
        {"schedule", Json::array(), noParams},
        {"schedule", Json::object(), "time is not present or is not a number"},
        {"schedule", {{"time", "1"}, {"scheduleId", "a"}}, "time is not present or is not a number"},
        {"schedule", {{"time", 1}, {"scheduleId", 2}}, "scheduleId is not present or is not a string"},
        {"schedule", {{"time", 1}, {"scheduleId", "a"}, {"cmd", "x"}}, "cmd is not present or is not an object"},
        {"schedule", {{"time", 1}, {"scheduleId", "a"}, {"cmd", Json::object()}}, "method is not present in cmd, or is not a string"},
        {"schedule", {{"time", 1}, {"scheduleId", "a"}, {"cmd", {{"method", 5}}}}, "method is not present in cmd, or is not a string"},
        {"schedule", {{"time", 1}, {"scheduleId", "a"}, {"cmd", {{"method", "quit"}}}}, "Scheduled method is not supported"},
        {"schedule", {{"time", 1}, {"scheduleId", "a"}, {"cmd", {{"method", "scanNothing"}}}}, "Scheduled method is not supported"},
        {"cancelSchedule", Json(), noParams},
        {"cancelSchedule", {{"scheduleId", 1}}, "scheduleId is not present or is not a string"},
        {"cancelSchedule", {{"scheduleId", "zz"}}, "No command with ID zz has been scheduled"},
        {"setLogFile", "path", noParams},
        {"setLogFile", {{"path", 1}}, "path is not present or is not a string"},
        {"setStatusReportInterval", Json(), noParams},
        {"setStatusReportInterval", {{"intervalInMs", "5"}}, "intervalInMs is not present or is not a number"},
        {"setStatusReportInterval", {{"intervalInMs", -1}}, "intervalInMs is negative"},
        {"setCpuMask", Json(), noParams},
        {"setCpuMask", Json::object(), "cpuMask option is missing or is not a string: null"},
        {"setCpuMask", {{"cpuMask", 3}}, "cpuMask option is missing or is not a string: 3"},
    };
    for (const auto& [method, params, message] : cases)
        EXPECT_EQ(call(method, params), error(message)) << method << " " << params.dump();
    EXPECT_TRUE(client.notifications("scheduledCommandExecuted").empty());
}

TEST_F(ControlMethods, ScheduledCommandRunsAndReportsItsResponse)
{
    const Json cmd = {{"method", "getSettings"}};
    EXPECT_EQ(call("schedule", {{"time", nowMs() - 1000}, {"scheduleId", "s1"}, {"cmd", cmd}}), result(Json::object()));
    const Json failing = {{"method", "setStatusReportInterval"}, {"id", 9}, {"params", {{"intervalInMs", -3}}}};
    EXPECT_EQ(call("schedule", {{"time", nowMs() - 500}, {"scheduleId", "s2"}, {"cmd", failing}}), result(Json::object()));
    const auto reports = client.waitFor("scheduledCommandExecuted", 2);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], Json({{"scheduleId", "s1"}, {"cmd", cmd}, {"result", {{"answer", 42}}}, {"error", nullptr}}));
    EXPECT_EQ(reports[1], Json({{"scheduleId", "s2"},
                                {"cmd", failing},
                                {"result", nullptr},
                                {"error", {{"code", 1000}, {"message", "intervalInMs is negative"}, {"data", Json::object()}}}}));
}

TEST_F(ControlMethods, ScheduledScheduleAndCancelScheduleWork)
{
    // The inner command takes the id of the one running it: that one is no longer scheduled.
    const Json inner = {{"method", "schedule"},
                        {"params", {{"time", 0}, {"scheduleId", "outer"}, {"cmd", {{"method", "getSettings"}}}}}};
    call("schedule", {{"time", nowMs() + 3600000}, {"scheduleId", "later"}, {"cmd", {{"method", "stop"}}}});
    call("schedule", {{"time", 0}, {"scheduleId", "outer"}, {"cmd", inner}});
    call("schedule", {{"time", 1}, {"scheduleId", "canceller"},
                      {"cmd", {{"method", "cancelSchedule"}, {"params", {{"scheduleId", "later"}}}}}});
    const auto reports = client.waitFor("scheduledCommandExecuted", 3);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0]["cmd"], inner);
    EXPECT_EQ(reports[0]["result"], Json::object());
    // The inner command (time 0) and "canceller" (time 1) race: the scheduler may take "outer"
    // alone, or "outer" and "canceller" as one batch of due commands, so their order is not fixed.
    const bool innerFirst = reports[1]["scheduleId"] == "outer";
    const Json& canceller = reports[innerFirst ? 2 : 1];
    const Json& innerReport = reports[innerFirst ? 1 : 2];
    EXPECT_EQ(canceller["scheduleId"], "canceller");
    EXPECT_EQ(canceller["result"], Json::object());
    EXPECT_EQ(innerReport["scheduleId"], "outer");
    EXPECT_EQ(innerReport["result"], Json({{"answer", 42}}));
    EXPECT_EQ(call("cancelSchedule", {{"scheduleId", "later"}}), error("No command with ID later has been scheduled"));
}

TEST_F(ControlMethods, StatusReportsStartAtOnceRepeatAndStopWhenJoined)
{
    EXPECT_EQ(call("setStatusReportInterval", {{"intervalInMs", 20}}), result(Json::object()));
    const auto reports = client.waitFor("newStatusReport", 3);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports[0], Json({{"state", "fine"}}));
    // A fraction is dropped: 0.5 is 0, which stops the reports and joins their thread.
    EXPECT_EQ(call("setStatusReportInterval", {{"intervalInMs", 0.5}}), result(Json::object()));
    EXPECT_EQ(client.statusReportInterval(), 0);
    const size_t afterStop = client.notifications("newStatusReport").size();
    call("schedule", {{"time", 0}, {"scheduleId", "sentinel"}, {"cmd", {{"method", "getSettings"}}}});
    client.waitFor("scheduledCommandExecuted", 1);
    EXPECT_EQ(client.notifications("newStatusReport").size(), afterStop);
    // A restart sends a report at once again.
    call("setStatusReportInterval", {{"intervalInMs", 100000}});
    EXPECT_EQ(client.waitFor("newStatusReport", afterStop + 1).size(), afterStop + 1);
}

TEST_F(ControlMethods, SetCpuMaskStoresTheMaskEvenWhenItCannotApply)
{
    EXPECT_EQ(app.cpuMask(), ~uint64_t(0));
    EXPECT_EQ(call("setCpuMask", {{"cpuMask", "abc"}}), error("Failed to set CPU mask: \"abc\""));
    EXPECT_EQ(app.cpuMask(), 0u);
    EXPECT_EQ(call("setCpuMask", {{"cpuMask", "0x0"}}), error("Failed to set CPU mask: \"0x0\""));
    // Every CPU: accepted wherever the test runs, and leaves the process as free as before.
    EXPECT_EQ(call("setCpuMask", {{"cpuMask", " 0xFFFFFFFFFFFFFFFF"}}), result(Json::object()));
    EXPECT_EQ(app.cpuMask(), ~uint64_t(0));
    call("setCpuMask", {{"cpuMask", "017"}});
    EXPECT_EQ(app.cpuMask(), 15u);
    call("setCpuMask", {{"cpuMask", "-1"}});
    EXPECT_EQ(app.cpuMask(), ~uint64_t(0));
}

TEST_F(ControlMethods, SetLogFileSwitchesTheAppsFileAndAnswersAnUnusablePathWithSuccess)
{
    // What the log says of each switch, and that a failed one keeps the file: SharedLoggerFileTest.
    TempDir dir;
    const std::string path = dir.file("halvix.log");
    EXPECT_EQ(call("setLogFile", {{"path", path}}), result(Json::object()));
    EXPECT_EQ(logger.logFilePath(), path);
    EXPECT_EQ(call("setLogFile", {{"path", dir.file("missing/halvix.log")}}), result(Json::object()));
    EXPECT_EQ(logger.logFilePath(), path);
    logger.setLogFilePath("");
}

TEST_F(ControlMethods, QuitStopsReportsSetsTheFlagAndSilencesLaterMessages)
{
    int counted = 0;
    client.addMethod("count", [&](const Json& r) { ++counted; return kel::makeResult(kel::requestId(r), counted); });
    call("setStatusReportInterval", {{"intervalInMs", 60000}});
    client.waitFor("newStatusReport", 1);
    EXPECT_EQ(client.process(R"({"jsonrpc":"2.0","method":"quit"})"), std::nullopt);
    EXPECT_TRUE(app.quitRequested());
    EXPECT_EQ(client.statusReportInterval(), 0);
    const std::string frame = kel::frame::framed(R"({"jsonrpc":"2.0","method":"count","id":1})");
    client.receiveBytes(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
    EXPECT_EQ(counted, 0);
    // A second quit finds nothing to stop.
    EXPECT_EQ(client.process(R"({"jsonrpc":"2.0","method":"quit","params":{}})"), std::nullopt);
}

} // namespace
