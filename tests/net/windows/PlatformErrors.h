// Windows only. The Winsock codes the portable socket tests expect.
#pragma once

namespace platform_errors {
inline constexpr int ConnectionRefused = 10061; // WSAECONNREFUSED
inline constexpr int AddressInUse = 10048;      // WSAEADDRINUSE
} // namespace platform_errors
