// Builders and accessors for JSON-RPC 2.0 messages shared by every brick.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace kel {

/// The JSON value type used for every message, parameter and report entry.
/// Objects are ordered maps, so `dump()` writes members in ascending key order.
using Json = nlohmann::json;

/// JSON value types as this system names them.
enum class JsonType { Null, Number, Bool, String, Array, Object };

/// Name of a JSON type: "null", "number", "bool", "string", "array" or "object".
const char* jsonTypeName(JsonType type);

/// Type of `value`; every nlohmann number flavour (integer, unsigned, float) is Number.
/// Binary values (which never come from parsed text) count as Null.
JsonType jsonTypeOf(const Json& value);

/// Stores `value` as an integer when it is integral and fits a signed 64-bit integer, so
/// that 7.0 serialises as `7`; otherwise as a double (NaN and infinities stay doubles,
/// which `dump()` writes as null).
Json jsonNumber(double value);

/// The request's "id" read as a number: its value as a double when "id" is a number,
/// 0 otherwise (absent, other type, or `request` not an object).
double requestId(const Json& request);

/// {"jsonrpc": "2.0", "id": id, "result": result}; the id is stored through jsonNumber.
Json makeResult(double id, const Json& result);

/// {"jsonrpc": "2.0", "id": id, "error": {"code": code, "message": message, "data": data}}.
/// `id` is any JSON value (null for errors without a request id); numbers in `id` and
/// `code` are stored through jsonNumber.
Json makeError(const Json& id, double code, const std::string& message, const Json& data);

/// {"jsonrpc": "2.0", "method": method, "params": params}.
Json makeNotification(const std::string& method, const Json& params);

/// Returns a copy of member `key` of `object` when its type is `type`.
/// Throws std::invalid_argument with the text
///   KEY + " option is missing or is not " + TYPE NAME + " type"
/// followed, only when the member exists with another type, by ": \"" + its JSON text + "\"".
/// A member that is absent (or an `object` that is not an object) counts as missing.
Json getTypedMember(const Json& object, const std::string& key, JsonType type);

}  // namespace kel
