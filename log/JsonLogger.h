// kel::JsonLogger: turns log messages into "newLogMessage" notifications for its listeners.
#pragma once

#include "base/json/JsonRpcMessage.h" // the JSON library below the loggers
#include "log/IJsonRpcNotificationListener.h"
#include "log/ILogger.h"
#include "base/ListenerList.h"

namespace kel {

class JsonLogger : public ListenerList<IJsonRpcNotificationListener>, public ILogger {
public:
    /// Hands the notification of `message` to every listener, in the order they were added.
    void log(const LogMessage& message) override;

    /// {"jsonrpc":"2.0","method":"newLogMessage","params":{"message","severityLevel",
    /// "timestamp" (whole milliseconds since 1970),"sender"}}.
    static Json notificationFor(const LogMessage& message);
};

}  // namespace kel
