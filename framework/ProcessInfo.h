// The few facts and settings of the running process that the client needs from the OS.
#pragma once

#include <cstdint>
#include <string>

namespace kel::process {

/// Id of the running process.
int64_t currentId();

/// Full path of the running executable (UTF-8), or the empty string when it cannot be read.
std::string executablePath();

/// Restricts the process to the CPUs whose bits are set in `mask` (bit n = CPU n).
/// Returns false when the system refuses it: a mask of 0, or one naming no online CPU.
bool setAffinityMask(uint64_t mask);

} // namespace kel::process
