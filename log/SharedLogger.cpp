// The process-wide logger: console, optional log file, JSON logger.
#include "log/SharedLogger.h"

#include <iostream>
#include <stdexcept>
#include <utility>

namespace kel {

namespace {
const char* const sourceName = "SharedLogger";
}

SharedLogger::SharedLogger(std::string name) : AsyncLogger(std::move(name)) {}

SharedLogger::SharedLogger(std::string name, std::ostream& consoleStream, bool utf8Console)
    : AsyncLogger(std::move(name)), console_(consoleStream, utf8Console)
{
}

SharedLogger::~SharedLogger()
{
    stop();
}

void SharedLogger::output(const LogMessage& message)
{
    composite_.log(message);
}

void SharedLogger::setLogFilePath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(fileMutex_);
    if (fileLogger_ && fileLogger_->path() == path)
        return;

    if (path.empty()) {
        if (fileLogger_) {
            composite_.remove(fileLogger_.get());  // waits for a line being written to it
            fileLogger_.reset();
        }
        return;
    }

    std::unique_ptr<FileLogger> opened;
    try {
        opened = std::make_unique<FileLogger>(path);
    } catch (const std::runtime_error& error) {
        // The previous file (if any) stays attached: a bad path from the GUI must not end
        // the logging that already works.
        log(LogMessage(LogLevel::Error, "Could not use file: " + path + ". Error: " + error.what(), sourceName));
        return;
    }
    if (fileLogger_)
        composite_.remove(fileLogger_.get());
    composite_.add(opened.get());
    fileLogger_ = std::move(opened);
    log(LogMessage(LogLevel::Verbose, "Logging to file: " + path, sourceName));
}

std::string SharedLogger::logFilePath() const
{
    std::lock_guard<std::mutex> lock(fileMutex_);
    return fileLogger_ ? fileLogger_->path() : std::string();
}

}  // namespace kel
