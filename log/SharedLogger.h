// kel::SharedLogger: the process-wide logger feeding the console, the log file and the JSON logger.
#pragma once

#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>

#include "log/AsyncLogger.h"
#include "log/CompositeLogger.h"
#include "log/ConsoleLogger.h"
#include "log/FileLogger.h"
#include "log/JsonLogger.h"

namespace kel {

/// Any thread may log(); the worker (thread "SharedLogger" by default) writes the queued
/// messages every 100 ms to every member of composite(). Nothing is attached at
/// construction: the entry point adds console() to composite(); setLogFilePath() attaches
/// the file logger. The JSON logger exists but is attached only by whoever wants it.
///
/// Lock order: fileMutex_ before the composite's members mutex.
class SharedLogger : public AsyncLogger {
public:
    /// Console on standard output (UTF-8 when the environment's locale is UTF-8).
    explicit SharedLogger(std::string name = "SharedLogger");

    /// Console on `consoleStream`, which must outlive the logger.
    SharedLogger(std::string name, std::ostream& consoleStream, bool utf8Console);

    /// Stops the worker (delivering what is queued) before the member loggers go away.
    ~SharedLogger() override;

    /// Forwards to every member of the composite; worker thread only.
    void output(const LogMessage& message) override;

    /// Switches the log file. Same path as now: nothing. Empty: file logging off.
    /// Otherwise opens the new file; on success replaces the old one and logs (Verbose,
    /// "SharedLogger") "Logging to file: " + path; on failure logs (Error) "Could not use
    /// file: " + path + ". Error: " + reason and keeps the previous file logger active.
    /// Never throws for an unusable file. The switch takes effect at once, so lines still
    /// queued from before the call are written to the new file.
    void setLogFilePath(const std::string& path);

    /// Path of the active file logger, or "" when there is none.
    std::string logFilePath() const;

    CompositeLogger& composite() { return composite_; }
    ConsoleLogger& console() { return console_; }
    JsonLogger& jsonLogger() { return jsonLogger_; }

private:
    CompositeLogger composite_;
    ConsoleLogger console_;
    mutable std::mutex fileMutex_;           // guards fileLogger_; serialises setLogFilePath
    std::unique_ptr<FileLogger> fileLogger_;  // guarded by fileMutex_
    JsonLogger jsonLogger_;
};

}  // namespace kel
