// Appending log lines to a file.
#include "log/FileLogger.h"

#include <stdexcept>
#include <utility>

namespace kel {

FileLogger::FileLogger(std::string path) : path_(std::move(path))
{
    stream_.open(path_, std::ios::out | std::ios::app | std::ios::binary);
    if (!stream_.is_open())
        throw std::runtime_error("Failed to open file " + path_);
}

void FileLogger::log(const LogMessage& message)
{
    if (!stream_.is_open())
        return;
    stream_ << formatLogLine(message) << '\n';
    stream_.flush();
}

}  // namespace kel
