// The machine's network adapters, as the device layer needs them: the adapter list, the
// addresses of an adapter found by MAC, and its link state. One process-wide instance (Xp).
#pragma once

#include "devices/VdapiResult.h"
#include "devices/platform/IInterface.h"
#include "devices/platform/NetAdapterInfo.h"

namespace Vdapi {

/// Which address GetAdapterAddress returns.
enum class AdapterAddressKind : int {
    Ipv4 = 0,       ///< first unicast IPv4 address (4 bytes used)
    Ipv6First = 1,  ///< first unicast IPv6 address
    Ipv6Second = 2, ///< second unicast IPv6 address
    Ipv6Third = 3,  ///< third unicast IPv6 address
};

/// Operational state and speeds of one adapter.
struct AdapterLinkState {
    bool up = false;          ///< operational state is "up"
    uint64_t transmitBps = 0; ///< transmit link speed, bits per second; 0 when unknown
    uint64_t receiveBps = 0;  ///< receive link speed, bits per second; 0 when unknown
};

/// Thread safety: every operation may be called from any thread at the same time; the object
/// keeps no state between calls. No operation blocks on the network.
class IXpNetwork : public IInterface {
public:
    /// Lists the adapters that have a 6-byte physical address (loopback excluded), in the
    /// system's order. Zeroes entries[0..maxCount) first, then fills at most maxCount of them;
    /// count receives the number filled. Returns VDAPI_OK; VDAPI_E_BUF_TOO_SMALL when more
    /// adapters exist than maxCount (the first maxCount are filled); VDAPI_E_INVALID_BUF when
    /// entries is null with maxCount > 0 or maxCount < 0; VDAPI_E_OUT_OF_MEM;
    /// VDAPI_E_NW_DRIVER when the system list cannot be read.
    virtual VdResult GetAdapters(int maxCount, int& count, NetAdapterInfo* entries) = 0;

    /// Address of the given kind of the adapter with this MAC address, only if that adapter is
    /// up. address receives 16 bytes (IPv4 in the first 4, rest zero). Returns VDAPI_OK;
    /// VDAPI_E_NOT_FOUND when no such adapter is up or it has no address of that kind;
    /// VDAPI_E_INVALID_ARG for an unknown kind; VDAPI_E_NW_DRIVER when the list cannot be read.
    virtual VdResult GetAdapterAddress(const uint8_t (&mac)[6], AdapterAddressKind kind,
                                       uint8_t (&address)[16]) = 0;

    /// Operational state and link speeds of the adapter with this MAC address. Returns
    /// VDAPI_OK; VDAPI_E_NOT_FOUND when no adapter has that MAC (state left all false/zero);
    /// VDAPI_E_NW_DRIVER when the list cannot be read.
    virtual VdResult GetLinkState(const uint8_t (&mac)[6], AdapterLinkState& state) = 0;
    /// The system's name of the adapter with this MAC address (the interface name an engineer
    /// types), as a NUL-terminated text in name[0..capacity). Returns VDAPI_OK;
    /// VDAPI_E_NOT_FOUND when no adapter has that MAC; VDAPI_E_BUF_TOO_SMALL when the name and
    /// its NUL do not fit (name left empty); VDAPI_E_INVALID_BUF when name is null or capacity
    /// < 1; VDAPI_E_NW_DRIVER when the list cannot be read.
    virtual VdResult GetAdapterName(const uint8_t (&mac)[6], char* name, int capacity) = 0;
};

} // namespace Vdapi
