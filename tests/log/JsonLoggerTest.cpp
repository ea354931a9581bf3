// "newLogMessage" notifications from the JSON logger.
#include <gtest/gtest.h>

#include <vector>

#include "log/JsonLogger.h"

namespace {

class RecordingListener : public IJsonRpcNotificationListener {
public:
    void onNotification(const kel::Json& notification) override { received.push_back(notification.dump()); }
    std::vector<std::string> received;
};

TEST(JsonLoggerTest, SendsOneNotificationPerListenerWithMillisecondTimestamp)
{
    kel::JsonLogger logger;
    RecordingListener first, second;
    logger.addListener(&first);
    logger.addListener(&second); // the list's own rules (once each, removal): ListenerListTest

    // 1796479629 s + 42.9999 ms in 100-ns units: the timestamp is rounded toward zero.
    logger.log(LogMessage(LogLevel::Info, "Running Halvix", "Halvix", std::int64_t{1796479629} * 10'000'000 + 429'999));
    const std::string expected =
        R"({"jsonrpc":"2.0","method":"newLogMessage","params":{"message":"Running Halvix",)"
        R"("sender":"Halvix","severityLevel":"Info","timestamp":1796479629042}})";
    EXPECT_EQ(std::vector<std::string>({expected}), first.received);
    EXPECT_EQ(std::vector<std::string>({expected}), second.received);

    logger.log(LogMessage(9, "%{0} placeholders", "Halvix", 0));
    ASSERT_EQ(2u, second.received.size());
    const kel::Json params = kel::Json::parse(second.received[1])["params"];
    EXPECT_EQ("", params["severityLevel"]);
    EXPECT_EQ("%{0} placeholders", params["message"]);
}

}  // namespace
