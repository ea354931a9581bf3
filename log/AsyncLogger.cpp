// Asynchronous logger: callers queue, the consumer's worker calls output().
#include "log/AsyncLogger.h"

#include <utility>

namespace kel {

AsyncLogger::AsyncLogger(std::string name) : consumer_(std::move(name))
{
    consumer_.addListener(this);
}

AsyncLogger::~AsyncLogger()
{
    stop();
}

void AsyncLogger::log(const LogMessage& message)
{
    consumer_.push(message);
}

void AsyncLogger::log(LogMessage&& message)
{
    consumer_.push(std::move(message));
}

void AsyncLogger::stop()
{
    consumer_.stop();
}

void AsyncLogger::consume(LogMessage message)
{
    output(message);
}

}  // namespace kel
