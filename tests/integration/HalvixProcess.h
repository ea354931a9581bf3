// Runs the real halvix executable as a child process and collects its console output.
#pragma once

#include "tests/log/LogTimes.h"
#include "tests/support/ChildProcess.h"

#include <optional>

namespace integration {

/// One halvix process with standard output and error read together. The destructor kills a
/// child that is still running and reaps it.
class HalvixProcess : public test::ChildProcess {
public:
    /// Starts HALVIX_BIN with `arguments`; started() tells whether that worked.
    explicit HalvixProcess(const std::vector<std::string>& arguments)
        : ChildProcess(HALVIX_BIN, arguments, Streams::Merged)
    {
    }

    /// Waits for the child to end; its exit code, or nothing when it had to be killed at the
    /// deadline or died of a signal.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        const int code = wait(timeout);
        return code < 0 ? std::nullopt : std::optional<int>(code);
    }
    /// The output's lines with the time stamp cut off ("Level | Source | Text").
    std::vector<std::string> lines() const { return linesWithoutTime(output()); }
};

} // namespace integration
