// Naming the calling thread so that debuggers and `top -H` show what it does.
#pragma once

#include <string>

namespace kel {

/// Names the calling thread; the name is cut to 15 bytes (the kernel's limit).
/// Returns false when the system refuses the name; the thread runs on unnamed.
bool setCurrentThreadName(const std::string& name);

/// Name of the calling thread, or the empty string when it cannot be read.
std::string currentThreadName();

}  // namespace kel
