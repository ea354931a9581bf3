// One local network adapter as listed by IXpNetwork::GetAdapters, and the name hash it carries.
#pragma once

#include <cstdint>

namespace Vdapi {

struct NetAdapterInfo {
    uint8_t macAddress[6];        ///< physical address, first octet first
    uint32_t macLength;           ///< length of the physical address; 6 for every listed adapter
    uint8_t ipv4Address[4];       ///< first unicast IPv4 address, network order; zero when none
    uint8_t ipv6Addresses[3][16]; ///< first three unicast IPv6 addresses in system order; rest zero
    uint32_t interfaceIndex;      ///< the system's interface index
    uint32_t nameHash;            ///< AdapterNameHash of the adapter's system name
};

/// djb2 hash of an adapter's system name: starts at 5381, then for each character multiplies
/// by 33 and adds the character taken as a signed byte, in 32-bit unsigned arithmetic.
/// A null or empty name hashes to 5381.
constexpr uint32_t AdapterNameHash(const char* name)
{
    uint32_t hash = 5381;
    if (name == nullptr)
        return hash;
    for (; *name != '\0'; ++name)
        hash = hash * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*name)));
    return hash;
}

} // namespace Vdapi
