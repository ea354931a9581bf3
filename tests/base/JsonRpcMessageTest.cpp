// Integral numbers and typed member access (the builders' exact text is checked through the
// dispatcher's replies in JsonRpcDispatcherTest.cpp and the log notification in JsonLoggerTest.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include "base/json/JsonRpcMessage.h"

namespace {

using kel::Json;
using kel::JsonType;

std::string typedMemberError(const Json& object, const std::string& key, JsonType type)
{
    try {
        kel::getTypedMember(object, key, type);
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "no exception";
}

TEST(JsonRpcMessageTest, IntegralDoublesPrintAsIntegers)
{
    const std::pair<double, const char*> printed[] = {
        {7.0, "7"}, {-32700.0, "-32700"}, {-0.0, "0"}, {0.5, "0.5"}, {4294967296.0, "4294967296"},
        {-9223372036854775808.0, "-9223372036854775808"}, {std::nan(""), "null"},
        {std::numeric_limits<double>::infinity(), "null"}};
    for (const auto& [value, text] : printed)
        EXPECT_EQ(text, kel::jsonNumber(value).dump()) << value;
    // 2^63 does not fit a signed 64-bit integer: it stays a double and keeps its value.
    EXPECT_EQ(9223372036854775808.0, kel::jsonNumber(9223372036854775808.0).get<double>());
    EXPECT_TRUE(kel::jsonNumber(9223372036854775808.0).is_number_float());
    // An id that arrived as 7.0 in a request comes back as 7.
    EXPECT_EQ(R"({"id":7,"jsonrpc":"2.0","result":null})",
              kel::makeResult(kel::requestId(Json::parse(R"({"id":7.0})")), nullptr).dump());
    EXPECT_EQ("7", kel::makeError(Json::parse("7.0"), 1, "m", {})["id"].dump());
    // A missing or non-numeric id reads as 0.
    EXPECT_EQ(0.0, kel::requestId(Json::parse(R"({"id":"12"})")));
    EXPECT_EQ(0.0, kel::requestId(Json::parse("[1]")));
}

TEST(JsonRpcMessageTest, TypedMemberReturnsMatchesAndExplainsMismatches)
{
    const Json object = Json::parse(R"({"port":"abc","count":5,"flag":true,"none":null,"list":[1,"x"],"f":1.5})");
    EXPECT_EQ("abc", kel::getTypedMember(object, "port", JsonType::String));
    EXPECT_EQ(1.5, kel::getTypedMember(object, "f", JsonType::Number));  // integers and doubles are both numbers
    EXPECT_EQ(5, kel::getTypedMember(object, "count", JsonType::Number));
    EXPECT_TRUE(kel::getTypedMember(object, "none", JsonType::Null).is_null());

    EXPECT_EQ("missing option is missing or is not string type", typedMemberError(object, "missing", JsonType::String));
    EXPECT_EQ("port option is missing or is not number type: \"\"abc\"\"",
              typedMemberError(object, "port", JsonType::Number));
    EXPECT_EQ("count option is missing or is not bool type: \"5\"", typedMemberError(object, "count", JsonType::Bool));
    EXPECT_EQ("flag option is missing or is not object type: \"true\"",
              typedMemberError(object, "flag", JsonType::Object));
    EXPECT_EQ("none option is missing or is not array type: \"null\"",
              typedMemberError(object, "none", JsonType::Array));
    EXPECT_EQ("list option is missing or is not null type: \"[1,\"x\"]\"",
              typedMemberError(object, "list", JsonType::Null));
    // Not an object at all: every key is missing, even when asking for null.
    EXPECT_EQ("k option is missing or is not null type", typedMemberError(Json::array(), "k", JsonType::Null));
    EXPECT_EQ("k option is missing or is not null type", typedMemberError(Json::object(), "k", JsonType::Null));
}

}  // namespace
