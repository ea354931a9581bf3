// Interface of whoever accepts outgoing JSON-RPC notifications (the JSON-RPC client). It sits
// below the loggers, whose JSON logger hands its notifications to such listeners.
#pragma once

#include "base/json/JsonRpcMessage.h"

class IJsonRpcNotificationListener {
public:
    virtual ~IJsonRpcNotificationListener() = default;

    /// Takes one complete notification object (as built by kel::makeNotification).
    /// Must not throw; a listener that cannot deliver drops the notification.
    virtual void onNotification(const kel::Json& notification) = 0;
};
