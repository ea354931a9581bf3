// Windows only. Limits of the system the portable log tests expect.
#pragma once

#include <cstddef>
#include <string>

namespace platform_limits {
inline constexpr std::size_t ThreadNameLength = std::string::npos; // thread descriptions are not cut
} // namespace platform_limits
