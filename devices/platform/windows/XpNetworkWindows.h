// The machine's network adapters on Windows, from GetAdaptersAddresses.
#pragma once

#include "devices/platform/IXpNetwork.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <memory>

namespace Vdapi {

class XpNetworkWindows final : public IXpNetwork {
public:
    /// The system call that lists the adapters (GetAdaptersAddresses, or a stand-in in tests).
    using ListFunction = ULONG(WINAPI*)(ULONG family, ULONG flags, PVOID reserved, PIP_ADAPTER_ADDRESSES list,
                                        PULONG size);
    /// Room asked for on the first call; a larger list is read once more with the size asked for.
    static constexpr ULONG kFirstListSize = 30720;
    /// Unicast addresses only, with prefixes and gateways, without friendly names.
    static constexpr ULONG kListFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                                        GAA_FLAG_INCLUDE_PREFIX | GAA_FLAG_SKIP_FRIENDLY_NAME |
                                        GAA_FLAG_INCLUDE_GATEWAYS;
    static_assert(kListFlags == 0xBE);

    explicit XpNetworkWindows(ListFunction list = ::GetAdaptersAddresses) : list_(list) {}

    VdResult GetAdapters(int maxCount, int& count, NetAdapterInfo* entries) override;
    VdResult GetAdapterAddress(const uint8_t (&mac)[6], AdapterAddressKind kind,
                               uint8_t (&address)[16]) override;
    VdResult GetLinkState(const uint8_t (&mac)[6], AdapterLinkState& state) override;
    VdResult GetAdapterName(const uint8_t (&mac)[6], char* name, int capacity) override;

    /// Zeroes entries[0..maxCount) and fills them from a system adapter list: adapters with a
    /// 6-byte physical address in list order, each with its first IPv4 and first three IPv6
    /// unicast addresses. VDAPI_E_BUF_TOO_SMALL when more adapters than maxCount are listed.
    static VdResult FillAdapters(const IP_ADAPTER_ADDRESSES* first, int maxCount, int& count, NetAdapterInfo* entries);

private:
    /// Reads the system list into list (room for kFirstListSize, then once the size asked for).
    /// VDAPI_OK, VDAPI_E_OUT_OF_MEM or VDAPI_E_NW_DRIVER.
    VdResult readList(ULONG family, ULONG flags, std::unique_ptr<uint8_t[]>& list) const;
    /// Calls use with the first listed adapter that has this MAC; VDAPI_E_NOT_FOUND when none has.
    template <class Use> VdResult withAdapter(const uint8_t (&mac)[6], ULONG flags, Use use) const;

    ListFunction list_;
};

} // namespace Vdapi
