// JsonRpcDispatcher: classification, standard error replies, batches and failing methods.
#include "framework/JsonRpcDispatcher.h"

#include "tests/log/CapturingLogger.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using kel::Json;
using kel::JsonRpcDispatcher;

class Dispatcher : public ::testing::Test {
protected:
    Dispatcher()
    {
        dispatcher.addMethod("echo", [](const Json& request) {
            return kel::makeResult(kel::requestId(request), request.value("params", Json()));
        });
        dispatcher.addMethod("silent", [](const Json&) { return Json(); });
        dispatcher.addMethod("rejects", [](const Json&) -> Json { throw std::invalid_argument("bad option"); });
        dispatcher.addMethod("breaks", [](const Json&) -> Json { throw std::runtime_error("broken"); });
        dispatcher.addNotificationMethod("note", [this](const Json& n) { notes.push_back(n.value("params", Json())); });
        dispatcher.addNotificationMethod("noteFails", [](const Json&) { throw std::runtime_error("oops"); });
    }

    /// The reply's JSON text, or "none".
    std::string reply(const std::string& payload)
    {
        auto r = dispatcher.process(payload);
        return r ? r->dump() : "none";
    }

    size_t verbose(const std::string& text) const { return log.count(3, "JsonRpcClient", text); }

    CapturingLogger log;
    JsonRpcDispatcher dispatcher{&log};
    std::vector<Json> notes;
};

TEST_F(Dispatcher, RequestsGetTheMethodsResponseOrMethodNotFoundWithTheIdAsANumber)
{
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"echo","id":7,"params":[1]})"), R"({"id":7,"jsonrpc":"2.0","result":[1]})");
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"echo","id":7.5})"), R"({"id":7.5,"jsonrpc":"2.0","result":null})");
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"silent","id":1})"), "none");
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"quit","id":3})"),
              R"({"error":{"code":-32601,"data":{},"message":"Method not found: quit"},"id":3,"jsonrpc":"2.0"})");
    EXPECT_TRUE(log.messages().empty());
}

TEST_F(Dispatcher, UnparsableNullOrDeeplyNestedPayloadIsParseErrorWithNullId)
{
    const std::string parseError = R"({"error":{"code":-32700,"data":{},"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";
    for (std::string payload : {"null", "{", "{\"a\":1} x", "nul", "\xff", "// comment\n{}"}) {
        EXPECT_EQ(reply(payload), parseError) << payload;
        EXPECT_EQ(verbose("Could not parse JSON request message: " + payload), 1u) << payload;
    }
    EXPECT_EQ(reply(std::string(100000, '[') + std::string(100000, ']')), parseError);
    // Brackets inside strings do not count.
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"echo","id":1,"params":")" + std::string(1000, '[') + "\"}"),
              R"({"id":1,"jsonrpc":"2.0","result":")" + std::string(1000, '[') + "\"}");
}

TEST_F(Dispatcher, MessagesThatAreNeitherRequestNorNotificationAreInvalid)
{
    const std::string invalid = R"({"error":{"code":-32600,"data":{},"message":"Invalid request"},"id":null,"jsonrpc":"2.0"})";
    for (std::string payload : {R"({"jsonrpc":"2.1","method":"echo","id":1})", R"({"jsonrpc":2,"method":"echo","id":1})",
                                R"({"method":"echo","id":1})", R"({"jsonrpc":"2.0","method":5,"id":1})",
                                R"({"jsonrpc":"2.0","id":1})", "5", R"("text")", "true"}) {
        EXPECT_EQ(reply(payload), invalid) << payload;
        const Json parsed = Json::parse(payload);
        EXPECT_EQ(verbose("Message could not be parsed as a JSON request nor notification: " + parsed.dump()), 1u);
    }
}

TEST_F(Dispatcher, NonNumericIdMakesANotification)
{
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"getSettings","id":"1"})"), "none");
    EXPECT_EQ(verbose("Notification method getSettings is not supported"), 1u);
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"note","id":null,"params":{"a":1}})"), "none");
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"note"})"), "none");
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], Json::parse(R"({"a":1})"));
}

TEST_F(Dispatcher, FailingMethodsAnswerWithAnErrorAndDispatchGoesOn)
{
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"rejects","id":4})"),
              R"({"error":{"code":1000,"data":{},"message":"bad option"},"id":4,"jsonrpc":"2.0"})");
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"breaks","id":5})"),
              R"({"error":{"code":-32603,"data":"broken","message":"Internal error"},"id":5,"jsonrpc":"2.0"})");
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"noteFails"})"), "none");
    EXPECT_EQ(reply(R"([{"jsonrpc":"2.0","method":"rejects","id":1},{"jsonrpc":"2.0","method":"echo","id":2}])"),
              R"([{"error":{"code":1000,"data":{},"message":"bad option"},"id":1,"jsonrpc":"2.0"},)"
              R"({"id":2,"jsonrpc":"2.0","result":null}])");
}

TEST_F(Dispatcher, BatchRepliesInElementOrderWithoutNotificationsAndEmptyOrNestedOnesGetNoReply)
{
    EXPECT_EQ(reply(R"([{"jsonrpc":"2.0","method":"echo","id":1,"params":"a"},)"
                    R"({"jsonrpc":"2.0","method":"note","params":"n"},)"
                    R"(17,)"
                    R"({"jsonrpc":"2.0","method":"silent","id":2},)"
                    R"({"jsonrpc":"2.0","method":"nope","id":3}])"),
              R"([{"id":1,"jsonrpc":"2.0","result":"a"},)"
              R"({"error":{"code":-32600,"data":{},"message":"Invalid request"},"id":null,"jsonrpc":"2.0"},)"
              R"(null,)"
              R"({"error":{"code":-32601,"data":{},"message":"Method not found: nope"},"id":3,"jsonrpc":"2.0"}])");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "n");
    EXPECT_EQ(reply("[]"), "none");
    // Invalid batch elements are answered but not logged, nor is an empty batch.
    EXPECT_TRUE(log.messages().empty());
    EXPECT_EQ(reply("[[]]"), "none");
    EXPECT_EQ(verbose("JSON RPC batch found within another batch: []"), 1u);
    EXPECT_EQ(reply(R"([{"jsonrpc":"2.0","method":"note"},[1,[2]]])"), "none");
    EXPECT_EQ(verbose("JSON RPC batch found within another batch: [1,[2]]"), 1u);
    EXPECT_EQ(notes.size(), 2u);
}

TEST_F(Dispatcher, FirstRegistrationOfANameWins)
{
    EXPECT_FALSE(dispatcher.addMethod("echo", [](const Json&) { return Json("second"); }));
    EXPECT_FALSE(dispatcher.addNotificationMethod("note", [](const Json&) {}));
    EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"echo","id":1,"params":2})"), R"({"id":1,"jsonrpc":"2.0","result":2})");
    EXPECT_NE(dispatcher.findMethod("echo"), nullptr);
    EXPECT_EQ(dispatcher.findMethod("note"), nullptr); // notification methods are a separate table
}

} // namespace
