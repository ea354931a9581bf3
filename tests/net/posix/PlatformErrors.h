// POSIX only. The errno values the portable socket tests expect.
#pragma once

#include <cerrno>

namespace platform_errors {
inline constexpr int ConnectionRefused = ECONNREFUSED;
inline constexpr int AddressInUse = EADDRINUSE;
} // namespace platform_errors
