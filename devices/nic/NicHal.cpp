// Network-adapter selection, identity derivation and the fixed property table.
#include "devices/nic/NicHal.h"

#include "devices/platform/Xp.h"

#include <chrono>
#include <cstring>
#include <vector>

namespace Vdapi {

namespace {

struct NicPropertyRow {
    const char* name;
    int64_t value;
    int32_t type;
    int32_t port; ///< -1: the device itself
};

constexpr NicPropertyRow kNicProperties[] = {
    {"PORT_COUNT", 1, DriverProtocol::kValueInt32, -1},
    {"REF_CLK_FREQ", kNicRefClockHz, DriverProtocol::kValueInt64, -1},
    {"CAP_IP", 1, DriverProtocol::kValueBool, 0},
    {"CAP_INTTSRATE", 1, DriverProtocol::kValueBool, 0},
    {"CAP_TS", 1, DriverProtocol::kValueBool, 0},
    {"CAP_TRPMODE", 1, DriverProtocol::kValueBool, 0},
    {"CAP_TX_T2MI", 1, DriverProtocol::kValueBool, 0},
};

// Adapters whose MAC carries our own vendor prefix are ports of our cards, not host adapters.
constexpr uint8_t kNicOwnVendorPrefix[3] = {0x00, 0x14, 0xF4};
constexpr uint8_t kNicBroadcastMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr uint32_t kNicMacLength = 6;

bool NicUsableAdapter(const NetAdapterInfo& adapter)
{
    return adapter.macLength == kNicMacLength &&
           std::memcmp(adapter.macAddress, kNicOwnVendorPrefix, sizeof kNicOwnVendorPrefix) != 0;
}

} // namespace

VdResult NicHal::Open(int index)
{
    Close();
    // Room for one more than listed: the pseudo-adapter goes behind the last listed adapter.
    std::vector<NetAdapterInfo> adapters(kMaxListedAdapters + 1);
    int listed = 0;
    const VdResult rc = Xp::Network().GetAdapters(kMaxListedAdapters, listed, adapters.data());
    if (rc != VDAPI_OK && rc != VDAPI_E_BUF_TOO_SMALL)
        return rc;
    if (listed <= 0 || listed > kMaxListedAdapters)
        return VDAPI_E_NO_SUCH_DEVICE;

    NetAdapterInfo& pseudo = adapters[size_t(listed)];
    pseudo = NetAdapterInfo{};
    std::memcpy(pseudo.macAddress, kNicBroadcastMac, sizeof kNicBroadcastMac);
    pseudo.macLength = kNicMacLength;
    pseudo.interfaceIndex = adapters[size_t(listed) - 1].interfaceIndex + 1;
    pseudo.nameHash = AdapterNameHash(kAnyLocalNicName);

    int position = 0;
    for (int i = 0; i <= listed; ++i) {
        const NetAdapterInfo& adapter = adapters[size_t(i)];
        if (!NicUsableAdapter(adapter))
            continue;
        if (position++ != index)
            continue;
        m_info.typeNumber = kNicTypeNumber;
        const bool anyLocal = std::memcmp(adapter.macAddress, kNicBroadcastMac, sizeof kNicBroadcastMac) == 0;
        m_info.subType = anyLocal ? kNicSubTypeAnyLocal : 0;
        std::memcpy(m_info.macAddress, adapter.macAddress, sizeof m_info.macAddress);
        m_info.interfaceIndex = adapter.interfaceIndex;
        std::memcpy(m_info.ipv4Address, adapter.ipv4Address, sizeof m_info.ipv4Address);
        std::memcpy(m_info.ipv6Addresses, adapter.ipv6Addresses, sizeof m_info.ipv6Addresses);
        m_info.serial = NicSerial(m_info.macAddress, adapter.nameHash);
        m_open = true;
        return VDAPI_OK;
    }
    return VDAPI_E_NO_SUCH_DEVICE;
}

void NicHal::Close()
{
    m_info = NicInfo{};
    m_open = false;
}

VdResult NicHal::GetNicInfo(NicInfo& info) const
{
    info = m_info;
    return VDAPI_OK;
}

VdResult NicHal::GetProperty(std::string_view name, int port, int type, int64_t& value) const
{
    value = 0;
    for (const NicPropertyRow& row : kNicProperties) {
        if (name != row.name || port != row.port)
            continue;
        if (type != row.type)
            return VDAPI_E_INVALID_TYPE;
        value = row.value;
        return VDAPI_OK;
    }
    return name.substr(0, 4) == "CAP_" ? VDAPI_OK : VDAPI_E_NOT_FOUND;
}

VdResult NicHal::GetRefClkCnt(uint32_t& count) const
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    count = uint32_t(uint64_t(ms.count()) * uint64_t(kNicRefClockHz / 1000));
    return VDAPI_OK;
}

} // namespace Vdapi
