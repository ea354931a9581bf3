// The machine's network adapters on Linux.
#include "devices/platform/posix/XpNetworkPosix.h"

#include "devices/platform/CatchAllocation.h"
#include "devices/platform/posix/ErrnoResult.h"
#include "devices/platform/posix/UniqueFd.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Vdapi {

namespace {

constexpr size_t kMacLength = 6;
constexpr uint64_t kBitsPerMbit = 1000000;

struct IfAddrsFree {
    void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

} // namespace

std::string XpNetworkPosix::readAttribute(const std::string& interface, const char* attribute) const
{
    const std::string path = sysClassNet_ + "/" + interface + "/" + attribute;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return {};
    char buffer[64];
    ssize_t n;
    do {
        n = ::read(fd.get(), buffer, sizeof(buffer) - 1);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return {};
    std::string text(buffer, static_cast<size_t>(n));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool XpNetworkPosix::adapterUp(const Adapter& adapter) const
{
    const std::string state = readAttribute(adapter.name, "operstate");
    return state.empty() ? adapter.running : state == "up";
}

uint64_t XpNetworkPosix::linkSpeedBps(const Adapter& adapter) const
{
    const std::string text = readAttribute(adapter.name, "speed");
    if (text.empty())
        return 0;
    char* end = nullptr;
    errno = 0;
    const long long mbits = std::strtoll(text.c_str(), &end, 10);
    // Unknown speed reads as -1 (or fails); anything unparsable or absurd is "unknown" too.
    if (errno != 0 || end == text.c_str() || *end != '\0' || mbits <= 0 || mbits > 100000000)
        return 0;
    return static_cast<uint64_t>(mbits) * kBitsPerMbit;
}

VdResult XpNetworkPosix::listAdapters(std::vector<Adapter>& adapters) const
{
    adapters.clear();
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0)
        return ResultFromErrno(errno, VDAPI_E_NW_DRIVER, "getifaddrs");
    std::unique_ptr<ifaddrs, IfAddrsFree> list(raw);

    auto find = [&](const char* name) -> Adapter* {
        for (Adapter& a : adapters)
            if (a.name == name)
                return &a;
        return nullptr;
    };
    // Link-layer entries come first and in interface order: they define the adapters.
    for (const ifaddrs* ifa = list.get(); ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr == nullptr || ifa->ifa_name == nullptr || ifa->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(ifa->ifa_addr);
        if (link->sll_halen != kMacLength || (ifa->ifa_flags & IFF_LOOPBACK) != 0 || find(ifa->ifa_name))
            continue;
        Adapter adapter;
        adapter.name = ifa->ifa_name;
        std::memcpy(adapter.info.macAddress, link->sll_addr, kMacLength);
        adapter.info.macLength = kMacLength;
        adapter.info.interfaceIndex = ::if_nametoindex(ifa->ifa_name);
        adapter.info.nameHash = AdapterNameHash(ifa->ifa_name);
        adapter.running = (ifa->ifa_flags & IFF_RUNNING) != 0;
        adapters.push_back(std::move(adapter));
    }
    for (const ifaddrs* ifa = list.get(); ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr == nullptr || ifa->ifa_name == nullptr)
            continue;
        Adapter* adapter = find(ifa->ifa_name);
        if (adapter == nullptr)
            continue;
        static const uint8_t kNoIpv4[4] = {};
        if (ifa->ifa_addr->sa_family == AF_INET &&
            std::memcmp(adapter->info.ipv4Address, kNoIpv4, sizeof(kNoIpv4)) == 0) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr);
            std::memcpy(adapter->info.ipv4Address, &in->sin_addr, 4);
        }
        else if (ifa->ifa_addr->sa_family == AF_INET6 && adapter->ipv6Count < 3) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(ifa->ifa_addr);
            std::memcpy(adapter->info.ipv6Addresses[adapter->ipv6Count++], &in6->sin6_addr, 16);
        }
    }
    return VDAPI_OK;
}

VdResult XpNetworkPosix::GetAdapters(int maxCount, int& count, NetAdapterInfo* entries)
{
    count = 0;
    if (maxCount < 0 || (entries == nullptr && maxCount > 0))
        return VDAPI_E_INVALID_BUF;
    for (int i = 0; i < maxCount; ++i)
        entries[i] = NetAdapterInfo{};
    return CatchAllocation([&]() -> VdResult {
        std::vector<Adapter> adapters;
        if (VdResult r = listAdapters(adapters); !isSuccess(r))
            return r;
        for (const Adapter& adapter : adapters) {
            if (count == maxCount)
                return VDAPI_E_BUF_TOO_SMALL;
            entries[count++] = adapter.info;
        }
        return VDAPI_OK;
    });
}

VdResult XpNetworkPosix::GetAdapterAddress(const uint8_t (&mac)[6], AdapterAddressKind kind,
                                           uint8_t (&address)[16])
{
    std::memset(address, 0, sizeof(address));
    const int which = static_cast<int>(kind);
    if (which < 0 || which > 3)
        return VDAPI_E_INVALID_ARG;
    return CatchAllocation([&]() -> VdResult {
        std::vector<Adapter> adapters;
        if (VdResult r = listAdapters(adapters); !isSuccess(r))
            return r;
        for (const Adapter& adapter : adapters) {
            if (std::memcmp(adapter.info.macAddress, mac, kMacLength) != 0 || !adapterUp(adapter))
                continue;
            static const uint8_t kZero[16] = {};
            if (kind == AdapterAddressKind::Ipv4) {
                if (std::memcmp(adapter.info.ipv4Address, kZero, 4) == 0)
                    continue;
                std::memcpy(address, adapter.info.ipv4Address, 4);
                return VDAPI_OK;
            }
            if (which > adapter.ipv6Count)
                continue;
            std::memcpy(address, adapter.info.ipv6Addresses[which - 1], 16);
            return VDAPI_OK;
        }
        return VDAPI_E_NOT_FOUND;
    });
}

VdResult XpNetworkPosix::withAdapter(const uint8_t (&mac)[6],
                                    const std::function<VdResult(const Adapter&)>& use) const
{
    return CatchAllocation([&]() -> VdResult {
        std::vector<Adapter> adapters;
        if (VdResult r = listAdapters(adapters); !isSuccess(r))
            return r;
        for (const Adapter& adapter : adapters)
            if (std::memcmp(adapter.info.macAddress, mac, kMacLength) == 0)
                return use(adapter);
        return VDAPI_E_NOT_FOUND;
    });
}

VdResult XpNetworkPosix::GetLinkState(const uint8_t (&mac)[6], AdapterLinkState& state)
{
    state = AdapterLinkState{};
    return withAdapter(mac, [&](const Adapter& adapter) {
        state.up = adapterUp(adapter);
        state.transmitBps = state.receiveBps = linkSpeedBps(adapter);
        return VDAPI_OK;
    });
}

VdResult XpNetworkPosix::GetAdapterName(const uint8_t (&mac)[6], char* name, int capacity)
{
    if (name == nullptr || capacity < 1)
        return VDAPI_E_INVALID_BUF;
    name[0] = '\0';
    return withAdapter(mac, [&](const Adapter& adapter) {
        if (adapter.name.size() >= size_t(capacity))
            return VDAPI_E_BUF_TOO_SMALL;
        std::memcpy(name, adapter.name.c_str(), adapter.name.size() + 1);
        return VDAPI_OK;
    });
}

} // namespace Vdapi
