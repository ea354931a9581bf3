// The machine's network adapters on Windows: one GetAdaptersAddresses walk serves the adapter
// list, the address and link state by MAC, and the adapter's name.
#include "devices/platform/windows/XpNetworkWindows.h"

#include "devices/platform/Xp.h"

#include <cstring>
#include <new>
#include <string>

namespace Vdapi {

namespace {

bool hasMac(const IP_ADAPTER_ADDRESSES& adapter, const uint8_t (&mac)[6])
{
    return adapter.PhysicalAddressLength == 6 && std::memcmp(adapter.PhysicalAddress, mac, 6) == 0;
}

/// The unicast address as family's raw bytes; false for another family or a cut record.
bool addressBytes(const IP_ADAPTER_UNICAST_ADDRESS& unicast, int family, uint8_t* out)
{
    const SOCKET_ADDRESS& a = unicast.Address;
    if (a.lpSockaddr == nullptr || a.lpSockaddr->sa_family != family)
        return false;
    if (family == AF_INET && a.iSockaddrLength >= static_cast<INT>(sizeof(sockaddr_in))) {
        std::memcpy(out, &reinterpret_cast<const sockaddr_in*>(a.lpSockaddr)->sin_addr, 4);
        return true;
    }
    if (family == AF_INET6 && a.iSockaddrLength >= static_cast<INT>(sizeof(sockaddr_in6))) {
        std::memcpy(out, &reinterpret_cast<const sockaddr_in6*>(a.lpSockaddr)->sin6_addr, 16);
        return true;
    }
    return false;
}

} // namespace

VdResult XpNetworkWindows::readList(ULONG family, ULONG flags, std::unique_ptr<uint8_t[]>& list) const
{
    ULONG size = kFirstListSize;
    for (int call = 0; call < 2; ++call) {
        list.reset(new (std::nothrow) uint8_t[size]);
        if (!list)
            return VDAPI_E_OUT_OF_MEM;
        const ULONG rc = list_(family, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(list.get()), &size);
        if (rc == NO_ERROR)
            return VDAPI_OK;
        if (rc != ERROR_BUFFER_OVERFLOW || call == 1) {
            list.reset();
            VDAPI_LOG(Warning, "GetAdaptersAddresses failed: Windows error %lu", rc);
            return VDAPI_E_NW_DRIVER;
        }
    }
    return VDAPI_E_NW_DRIVER;
}

VdResult XpNetworkWindows::FillAdapters(const IP_ADAPTER_ADDRESSES* first, int maxCount, int& count,
                                        NetAdapterInfo* entries)
{
    count = 0;
    if (maxCount < 0 || (entries == nullptr && maxCount > 0))
        return VDAPI_E_INVALID_BUF;
    std::memset(entries, 0, sizeof(NetAdapterInfo) * static_cast<size_t>(maxCount));
    for (const IP_ADAPTER_ADDRESSES* adapter = first; adapter != nullptr; adapter = adapter->Next) {
        if (adapter->PhysicalAddressLength != 6)
            continue; // loopback, tunnels and the like
        if (count == maxCount)
            return VDAPI_E_BUF_TOO_SMALL;
        NetAdapterInfo& info = entries[count++];
        std::memcpy(info.macAddress, adapter->PhysicalAddress, 6);
        info.macLength = 6;
        info.interfaceIndex = adapter->IfIndex;
        info.nameHash = AdapterNameHash(adapter->AdapterName);
        bool haveIpv4 = false;
        int ipv6Count = 0;
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = adapter->FirstUnicastAddress; u != nullptr; u = u->Next) {
            if (!haveIpv4 && addressBytes(*u, AF_INET, info.ipv4Address))
                haveIpv4 = true;
            else if (ipv6Count < 3 && addressBytes(*u, AF_INET6, info.ipv6Addresses[ipv6Count]))
                ++ipv6Count;
        }
    }
    return VDAPI_OK;
}

VdResult XpNetworkWindows::GetAdapters(int maxCount, int& count, NetAdapterInfo* entries)
{
    count = 0;
    if (maxCount < 0 || (entries == nullptr && maxCount > 0))
        return VDAPI_E_INVALID_BUF;
    std::unique_ptr<uint8_t[]> list;
    if (VdResult r = readList(AF_UNSPEC, kListFlags, list); !isSuccess(r))
        return r;
    return FillAdapters(reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(list.get()), maxCount, count, entries);
}

template <class Use> VdResult XpNetworkWindows::withAdapter(const uint8_t (&mac)[6], ULONG flags, Use use) const
{
    std::unique_ptr<uint8_t[]> list;
    if (VdResult r = readList(AF_UNSPEC, flags, list); !isSuccess(r))
        return r;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(list.get()); a != nullptr; a = a->Next)
        if (hasMac(*a, mac))
            return use(*a);
    return VDAPI_E_NOT_FOUND;
}

VdResult XpNetworkWindows::GetAdapterAddress(const uint8_t (&mac)[6], AdapterAddressKind kind, uint8_t (&address)[16])
{
    std::memset(address, 0, sizeof(address));
    int family = AF_INET;
    int wanted = 0; // which address of that family
    switch (kind) {
    case AdapterAddressKind::Ipv4:
        break;
    case AdapterAddressKind::Ipv6First:
    case AdapterAddressKind::Ipv6Second:
    case AdapterAddressKind::Ipv6Third:
        family = AF_INET6;
        wanted = static_cast<int>(kind) - static_cast<int>(AdapterAddressKind::Ipv6First);
        break;
    default:
        return VDAPI_E_INVALID_ARG;
    }
    return withAdapter(mac, kListFlags, [&](const IP_ADAPTER_ADDRESSES& a) -> VdResult {
        if (a.OperStatus != IfOperStatusUp)
            return VDAPI_E_NOT_FOUND;
        int seen = 0;
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a.FirstUnicastAddress; u != nullptr; u = u->Next) {
            uint8_t bytes[16] = {};
            if (addressBytes(*u, family, bytes) && seen++ == wanted) {
                std::memcpy(address, bytes, sizeof(bytes));
                return VDAPI_OK;
            }
        }
        return VDAPI_E_NOT_FOUND;
    });
}

VdResult XpNetworkWindows::GetLinkState(const uint8_t (&mac)[6], AdapterLinkState& state)
{
    state = AdapterLinkState{};
    return withAdapter(mac, kListFlags, [&](const IP_ADAPTER_ADDRESSES& a) -> VdResult {
        state.up = a.OperStatus == IfOperStatusUp;
        // An unknown speed is reported as all ones.
        state.transmitBps = a.TransmitLinkSpeed == ~0ull ? 0 : a.TransmitLinkSpeed;
        state.receiveBps = a.ReceiveLinkSpeed == ~0ull ? 0 : a.ReceiveLinkSpeed;
        return VDAPI_OK;
    });
}

VdResult XpNetworkWindows::GetAdapterName(const uint8_t (&mac)[6], char* name, int capacity)
{
    if (name == nullptr || capacity < 1)
        return VDAPI_E_INVALID_BUF;
    name[0] = '\0';
    // The friendly name ("Ethernet 2") is what an engineer sees and types; the list is read with it.
    return withAdapter(mac, kListFlags & ~ULONG(GAA_FLAG_SKIP_FRIENDLY_NAME), [&](const IP_ADAPTER_ADDRESSES& a) -> VdResult {
        const wchar_t* wide = a.FriendlyName != nullptr && a.FriendlyName[0] != L'\0' ? a.FriendlyName : nullptr;
        if (wide == nullptr) { // no friendly name: the system's identifier
            const size_t length = a.AdapterName != nullptr ? std::strlen(a.AdapterName) : 0;
            if (length + 1 > static_cast<size_t>(capacity))
                return VDAPI_E_BUF_TOO_SMALL;
            std::memcpy(name, a.AdapterName != nullptr ? a.AdapterName : "", length + 1);
            return VDAPI_OK;
        }
        const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (needed <= 0)
            return VDAPI_E_NW_DRIVER;
        if (needed > capacity)
            return VDAPI_E_BUF_TOO_SMALL;
        ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, name, capacity, nullptr, nullptr);
        return VDAPI_OK;
    });
}

} // namespace Vdapi
