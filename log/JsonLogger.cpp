// "newLogMessage" notifications built from log messages.
#include "log/JsonLogger.h"

namespace kel {

Json JsonLogger::notificationFor(const LogMessage& message)
{
    Json params = Json::object();
    params["message"] = message.text();
    params["severityLevel"] = logLevelName(message.level);
    params["timestamp"] = message.time / 10'000;  // 100-ns units to whole milliseconds
    params["sender"] = message.source;
    return makeNotification("newLogMessage", params);
}

void JsonLogger::log(const LogMessage& message)
{
    const Json notification = notificationFor(message);
    forEachListener([&notification](IJsonRpcNotificationListener& listener) { listener.onNotification(notification); });
}

}  // namespace kel
