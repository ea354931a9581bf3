// The machine's network adapters on Linux: getifaddrs for addresses, sysfs for state and speed.
#pragma once

#include "devices/platform/IXpNetwork.h"

#include <functional>
#include <string>
#include <vector>

namespace Vdapi {

class XpNetworkPosix final : public IXpNetwork {
public:
    /// sysClassNet: folder with one subfolder per interface holding "operstate" and "speed".
    explicit XpNetworkPosix(std::string sysClassNet = "/sys/class/net") : sysClassNet_(std::move(sysClassNet))
    {
    }

    VdResult GetAdapters(int maxCount, int& count, NetAdapterInfo* entries) override;
    VdResult GetAdapterAddress(const uint8_t (&mac)[6], AdapterAddressKind kind,
                               uint8_t (&address)[16]) override;
    VdResult GetLinkState(const uint8_t (&mac)[6], AdapterLinkState& state) override;
    VdResult GetAdapterName(const uint8_t (&mac)[6], char* name, int capacity) override;

private:
    struct Adapter {
        std::string name;
        NetAdapterInfo info{};
        int ipv6Count = 0;
        bool running = false; ///< IFF_RUNNING, used when the operational state cannot be read
    };

    /// Every adapter with a 6-byte physical address except loopback, in the system's order.
    VdResult listAdapters(std::vector<Adapter>& adapters) const;
    /// Calls `use` with the first adapter that has this MAC and returns its answer;
    /// VDAPI_E_NOT_FOUND when none has it, or the listing's failure.
    VdResult withAdapter(const uint8_t (&mac)[6], const std::function<VdResult(const Adapter&)>& use) const;
    bool adapterUp(const Adapter& adapter) const;
    uint64_t linkSpeedBps(const Adapter& adapter) const;
    /// Up to 63 bytes of sysfs attribute attribute of interface, trailing whitespace removed; "" when
    /// unreadable.
    std::string readAttribute(const std::string& interface, const char* attribute) const;

    std::string sysClassNet_;
};

} // namespace Vdapi
