// Method tables and the processing of one received JSON-RPC message (or batch).
#pragma once

#include "base/json/JsonRpcMessage.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class ILogger;

namespace kel {

/// Classifies received messages, calls the registered methods and builds the replies.
/// Tables are filled during construction of the owner and only read afterwards, so lookups
/// take no lock.
class JsonRpcDispatcher {
public:
    /// Takes the whole request, returns the whole response (null: no reply).
    using RequestMethod = std::function<Json(const Json& request)>;
    /// Takes the whole notification.
    using NotificationMethod = std::function<void(const Json& notification)>;

    enum class Kind { Request, Notification, Batch, Invalid };

    /// `logger` receives the Verbose lines about rejected messages; it must outlive this.
    explicit JsonRpcDispatcher(ILogger* logger);

    /// Registers a request method. Returns false (keeping the first function) when the name
    /// is taken.
    bool addMethod(const std::string& name, RequestMethod method);
    /// Registers a notification method. Returns false when the name is taken.
    bool addNotificationMethod(const std::string& name, NotificationMethod method);

    /// The request method `name`, or null when none is registered.
    const RequestMethod* findMethod(const std::string& name) const;

    /// Request, Notification, Batch (an array) or Invalid.
    static Kind classify(const Json& message);

    /// Processes one payload text. Returns the reply to send, or nothing.
    std::optional<Json> process(std::string_view payload) const;
    /// Processes one parsed message (not null). Returns the reply to send, or nothing.
    std::optional<Json> processMessage(const Json& message) const;

private:
    Json callRequest(const Json& request) const;
    void callNotification(const Json& notification) const;
    void logVerbose(std::string text) const;

    ILogger* logger_;
    std::map<std::string, RequestMethod> requestMethods_;
    std::map<std::string, NotificationMethod> notificationMethods_;
};

} // namespace kel
