// kel::AsyncLogger: a logger whose callers only queue; a worker thread does the output.
#pragma once

#include <string>

#include "log/Consumer.h"
#include "log/ILogger.h"

namespace kel {

/// Derived classes implement output(), which runs on the worker thread. A derived class
/// must call stop() in its own destructor, before its members go away, because the worker
/// calls output() until stop() returns.
class AsyncLogger : public ILogger, public IConsumerListener<LogMessage> {
public:
    /// Starts the worker thread, named `name`, delivering every 100 ms.
    explicit AsyncLogger(std::string name);
    ~AsyncLogger() override;

    /// Queues a copy of `message`; dropped silently after stop().
    void log(const LogMessage& message) override;

    /// Queues `message` without copying it; the cheap form for callers that build a
    /// temporary: `logger.log(LogMessage(LogLevel::Info, "text", "Source"))`.
    void log(LogMessage&& message);

    /// Delivers everything queued, then ends the worker; returns when it has ended.
    /// Idempotent; later messages are dropped.
    void stop();

    /// Writes one message; runs on the worker thread only.
    virtual void output(const LogMessage& message) = 0;

    /// Consumer callback: calls output().
    void consume(LogMessage message) override;

private:
    Consumer<LogMessage> consumer_;
};

}  // namespace kel
