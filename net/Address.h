// IPv4 addresses of the TCP transport (network byte order) and the text-to-address lookup.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace ip {

/// An IPv4 address as a 32-bit value in network byte order.
using Address = uint32_t;

/// Converts a host-order IPv4 value (0x7F000001 for 127.0.0.1) to network byte order.
constexpr Address toNetworkOrder(uint32_t hostValue)
{
    if constexpr (std::endian::native == std::endian::big)
        return hostValue;
    return (hostValue >> 24) | ((hostValue >> 8) & 0xFF00u) | ((hostValue << 8) & 0xFF0000u) | (hostValue << 24);
}

inline constexpr Address Any = toNetworkOrder(0x00000000u);       ///< 0.0.0.0
inline constexpr Address Loopback = toNetworkOrder(0x7F000001u);  ///< 127.0.0.1
inline constexpr Address Broadcast = toNetworkOrder(0xFFFFFFFFu); ///< 255.255.255.255

/// Turns text into an address: "255.255.255.255" is `Broadcast`, a dotted quad is taken as is,
/// anything else is looked up as an IPv4 host name (first result). Returns `Any` when the lookup
/// fails.
Address resolve(const std::string& text);

/// Returns the dotted-quad text of an address.
std::string toString(Address address);

} // namespace ip
