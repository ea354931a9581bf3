// Listing Ethernet-attached devices from the service or by discovery.
#include "devices/vde/VdeEnum.h"

#include "devices/platform/Xp.h"
#include "devices/vde/VdeDiscovery.h"
#include "devices/vde/VdeListEnum.h"

#include <algorithm>
#include <new>
#include <vector>

namespace Vdapi::VdeEnum {

namespace {

constexpr int kMaxAdapters = 512;

bool SameDevice(const ServiceProtocol::VdeListEntry& a, const ServiceProtocol::VdeListEntry& b)
{
    return a.ipAddress == b.ipAddress && a.macAddress == b.macAddress;
}

} // namespace

int32_t RemoveDuplicates(ServiceProtocol::VdeListEntry* entries, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        int32_t j = i + 1;
        while (j < count) {
            if (SameDevice(entries[i], entries[j])) {
                std::move(entries + j + 1, entries + count, entries + j);
                --count; // the entry that moved into j is compared too
            } else {
                ++j;
            }
        }
    }
    return count;
}

VdResult Enumerate(ServiceProtocol::VdeListEntry* entries, int32_t& count, bool refresh)
{
    const int32_t room = std::max<int32_t>(count, 0);
    count = 0;
    if (!entries && room > 0)
        return VDAPI_E_INVALID_BUF;

    {
        VdapiService::VdeListEnum list;
        if (list.Open(refresh)) {
            list.Begin();
            ServiceProtocol::VdeListEntry entry;
            while (count < room && list.Next(entry))
                entries[count++] = entry;
            list.Close();
            return VDAPI_OK;
        }
        VDAPI_LOG(Info, "device service list not readable (%s): discovering Ethernet devices",
                  ResultName(list.LastError()));
    }

    std::vector<NetAdapterInfo> adapters;
    try {
        adapters.resize(kMaxAdapters);
    } catch (const std::bad_alloc&) {
        return VDAPI_E_NOT_FOUND;
    }
    int adapterCount = 0;
    const VdResult listed = Xp::Network().GetAdapters(kMaxAdapters, adapterCount, adapters.data());
    if (!isSuccess(listed)) {
        VDAPI_LOG(Warning, "adapters cannot be listed for discovery: %s", ResultName(listed));
        return VDAPI_E_NOT_FOUND;
    }
    adapterCount = std::clamp(adapterCount, 0, kMaxAdapters);

    uint32_t probeCounter = VdeDiscovery::kFirstProbeCounter;
    std::vector<ServiceProtocol::VdeListEntry> found;
    for (int a = 0; a < adapterCount && count < room; ++a) {
        found.clear();
        const VdResult pass = VdeDiscovery::RunPass(adapters[size_t(a)].ipv4Address, probeCounter++,
                                                    size_t(room - count), found);
        if (!isSuccess(pass))
            continue; // a failed pass adds nothing
        for (const auto& entry : found)
            if (count < room)
                entries[count++] = entry;
    }
    if (adapterCount > 1 && count > 0)
        count = RemoveDuplicates(entries, count);
    return VDAPI_OK;
}

} // namespace Vdapi::VdeEnum
