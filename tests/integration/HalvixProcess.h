// Runs the real halvix executable as a child process and collects its console output.
#pragma once

#include "tests/log/LogTimes.h"
#include "tests/support/ChildProcess.h"

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

    /// The output's lines with the time stamp cut off ("Level | Source | Text").
    std::vector<std::string> lines() const { return linesWithoutTime(output()); }
};

} // namespace integration
