// kel::FileLogger: appends every log line to one file, UTF-8.
#pragma once

#include <fstream>
#include <string>

#include "log/ILogger.h"

namespace kel {

class FileLogger : public ILogger {
public:
    /// Opens `path` for appending, creating it if missing.
    /// Throws std::runtime_error("Failed to open file " + path) when it cannot.
    explicit FileLogger(std::string path);

    /// Writes the line and a newline and flushes; write errors are not reported.
    /// Not synchronised: called from one thread at a time (the shared logger's worker).
    void log(const LogMessage& message) override;

    /// The path given at construction, byte for byte.
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::ofstream stream_;
};

}  // namespace kel
