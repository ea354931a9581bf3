// POSIX only. Limits of the system the portable log tests expect.
#pragma once

#include <cstddef>

namespace platform_limits {
inline constexpr std::size_t ThreadNameLength = 15; // the kernel keeps 16 bytes with the terminator
} // namespace platform_limits
