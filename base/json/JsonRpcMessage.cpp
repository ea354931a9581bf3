// Builders and accessors for JSON-RPC 2.0 messages.
#include "base/json/JsonRpcMessage.h"

#include <cmath>
#include <stdexcept>

namespace kel {

const char* jsonTypeName(JsonType type)
{
    switch (type) {
    case JsonType::Null: return "null";
    case JsonType::Number: return "number";
    case JsonType::Bool: return "bool";
    case JsonType::String: return "string";
    case JsonType::Array: return "array";
    case JsonType::Object: return "object";
    }
    return "null";
}

JsonType jsonTypeOf(const Json& value)
{
    if (value.is_number())
        return JsonType::Number;
    if (value.is_boolean())
        return JsonType::Bool;
    if (value.is_string())
        return JsonType::String;
    if (value.is_array())
        return JsonType::Array;
    if (value.is_object())
        return JsonType::Object;
    return JsonType::Null;
}

Json jsonNumber(double value)
{
    // 2^63 is exactly representable; every integral double strictly inside (-2^63, 2^63)
    // converts to int64 without loss. -2^63 itself also fits.
    constexpr double limit = 9223372036854775808.0;
    if (std::isfinite(value) && value == std::trunc(value) && value >= -limit && value < limit) {
        // -0.0 becomes 0, as it prints in the system's own serialiser.
        return Json(static_cast<std::int64_t>(value));
    }
    return Json(value);
}

double requestId(const Json& request)
{
    if (!request.is_object())
        return 0;
    auto it = request.find("id");
    if (it == request.end() || !it->is_number())
        return 0;
    return it->get<double>();
}

namespace {

// Numbers inside an id are normalised so that 7.0 prints as 7; other values are kept.
Json normalisedId(const Json& id)
{
    return id.is_number() ? jsonNumber(id.get<double>()) : id;
}

}  // namespace

Json makeResult(double id, const Json& result)
{
    return Json{{"jsonrpc", "2.0"}, {"id", jsonNumber(id)}, {"result", result}};
}

Json makeError(const Json& id, double code, const std::string& message, const Json& data)
{
    Json error = Json::object();
    error["code"] = jsonNumber(code);
    error["message"] = message;
    error["data"] = data;
    return Json{{"jsonrpc", "2.0"}, {"id", normalisedId(id)}, {"error", std::move(error)}};
}

Json makeNotification(const std::string& method, const Json& params)
{
    return Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}};
}

Json getTypedMember(const Json& object, const std::string& key, JsonType type)
{
    const Json* member = nullptr;
    if (object.is_object()) {
        auto it = object.find(key);
        if (it != object.end())
            member = &*it;
    }
    if (member != nullptr && jsonTypeOf(*member) == type)
        return *member;

    std::string text = key + " option is missing or is not " + jsonTypeName(type) + " type";
    if (member != nullptr)
        text += ": \"" + member->dump(-1, ' ', false, Json::error_handler_t::replace) + "\"";
    throw std::invalid_argument(text);
}

}  // namespace kel
