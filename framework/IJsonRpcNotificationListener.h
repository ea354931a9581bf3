// Interface of whoever accepts outgoing JSON-RPC notifications, as the framework uses it: the
// JSON-RPC client implements it, applications send through it. Declared below the loggers.
#pragma once

#include "log/IJsonRpcNotificationListener.h"
