// The one operation every logger offers.
#pragma once

#include "log/LogMessage.h"

class ILogger {
public:
    virtual ~ILogger() = default;

    /// Takes one message; callable from any thread. Never throws for output failures.
    virtual void log(const LogMessage& message) = 0;
};
