// Dispatch of requests, notifications and batches with the standard JSON-RPC error replies.
#include "framework/JsonRpcDispatcher.h"

#include "log/ILogger.h"

#include <exception>
#include <stdexcept>
#include <utility>

namespace kel {

namespace {

const char* const kSource = "JsonRpcClient";
constexpr int kMaxNesting = 256;

Json invalidRequest()
{
    return makeError(nullptr, -32600, "Invalid request", Json::object());
}

std::string jsonText(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Copying and printing a JSON value recurse once per nesting level, so a frame of a million
// '[' would exhaust the stack; such texts are refused before they are parsed.
bool nestsDeeperThan(std::string_view text, int limit)
{
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

} // namespace

JsonRpcDispatcher::JsonRpcDispatcher(ILogger* logger)
    : logger_(logger)
{
}

bool JsonRpcDispatcher::addMethod(const std::string& name, RequestMethod method)
{
    return requestMethods_.emplace(name, std::move(method)).second;
}

bool JsonRpcDispatcher::addNotificationMethod(const std::string& name, NotificationMethod method)
{
    return notificationMethods_.emplace(name, std::move(method)).second;
}

const JsonRpcDispatcher::RequestMethod* JsonRpcDispatcher::findMethod(const std::string& name) const
{
    auto it = requestMethods_.find(name);
    return it == requestMethods_.end() ? nullptr : &it->second;
}

JsonRpcDispatcher::Kind JsonRpcDispatcher::classify(const Json& message)
{
    if (message.is_array())
        return Kind::Batch;
    if (!message.is_object())
        return Kind::Invalid;
    auto version = message.find("jsonrpc");
    if (version == message.end() || !version->is_string() || version->get_ref<const std::string&>() != "2.0")
        return Kind::Invalid;
    auto method = message.find("method");
    if (method == message.end() || !method->is_string())
        return Kind::Invalid;
    auto id = message.find("id");
    return id != message.end() && id->is_number() ? Kind::Request : Kind::Notification;
}

std::optional<Json> JsonRpcDispatcher::process(std::string_view payload) const
{
    Json message = nestsDeeperThan(payload, kMaxNesting) ? Json(Json::value_t::discarded)
                                                         : Json::parse(payload.begin(), payload.end(), nullptr, false);
    if (message.is_discarded() || message.is_null()) {
        logVerbose("Could not parse JSON request message: " + std::string(payload));
        return makeError(nullptr, -32700, "Parse error", Json::object());
    }
    return processMessage(message);
}

std::optional<Json> JsonRpcDispatcher::processMessage(const Json& message) const
{
    switch (classify(message)) {
    case Kind::Request: {
        Json reply = callRequest(message);
        if (reply.is_null())
            return std::nullopt;
        return reply;
    }
    case Kind::Notification:
        callNotification(message);
        return std::nullopt;
    case Kind::Invalid:
        logVerbose("Message could not be parsed as a JSON request nor notification: " + jsonText(message));
        return invalidRequest();
    case Kind::Batch:
        break;
    }
    Json replies = Json::array();
    for (const Json& element : message) {
        switch (classify(element)) {
        case Kind::Request:
            replies.push_back(callRequest(element));
            break;
        case Kind::Notification:
            callNotification(element);
            break;
        case Kind::Batch:
            logVerbose("JSON RPC batch found within another batch: " + jsonText(element));
            break;
        case Kind::Invalid:
            replies.push_back(invalidRequest());
            break;
        }
    }
    if (replies.empty())
        return std::nullopt;
    return replies;
}

Json JsonRpcDispatcher::callRequest(const Json& request) const
{
    const auto& name = request["method"].get_ref<const std::string&>();
    const double id = requestId(request);
    auto method = requestMethods_.find(name);
    if (method == requestMethods_.end())
        return makeError(id, -32601, "Method not found: " + name, Json::object());
    // A failing method must not end the receiving thread: its failure becomes the reply.
    try {
        return method->second(request);
    } catch (const std::invalid_argument& e) {
        return makeError(id, 1000, e.what(), Json::object());
    } catch (const std::exception& e) {
        return makeError(id, -32603, "Internal error", e.what());
    } catch (...) {
        return makeError(id, -32603, "Internal error", "unknown exception");
    }
}

void JsonRpcDispatcher::callNotification(const Json& notification) const
{
    const auto& name = notification["method"].get_ref<const std::string&>();
    auto method = notificationMethods_.find(name);
    if (method == notificationMethods_.end()) {
        logVerbose("Notification method " + name + " is not supported");
        return;
    }
    try {
        method->second(notification);
    } catch (const std::exception& e) {
        logVerbose("Notification method " + name + " failed: " + e.what());
    } catch (...) {
        logVerbose("Notification method " + name + " failed");
    }
}

void JsonRpcDispatcher::logVerbose(std::string text) const
{
    if (logger_)
        logger_->log(LogMessage(LogLevel::Verbose, std::move(text), kSource));
}

} // namespace kel
