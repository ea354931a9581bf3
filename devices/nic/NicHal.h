// Hardware access of a network-adapter device: picks one of the machine's adapters (or the
// "Any local NIC" pseudo-adapter), derives its identity and answers the fixed property table.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/DriverRequests.h"
#include "devices/platform/NetAdapterInfo.h"

#include <cstdint>
#include <string_view>

namespace Vdapi {

/// Type number of every network-adapter device.
inline constexpr int32_t kNicTypeNumber = 840;
/// Sub-type of the "Any local NIC" pseudo-adapter (a real adapter has 0).
inline constexpr int32_t kNicSubTypeAnyLocal = 2;
/// Name of the pseudo-adapter; its name hash enters its serial number.
inline constexpr const char* kAnyLocalNicName = "Any local NIC";
/// Bit 62: set in every network-adapter serial number, so attach by serial can tell them apart.
inline constexpr uint64_t kNicSerialBase = 0x4000000000000000ull;
/// Reference clock a network adapter reports, in Hz.
inline constexpr int64_t kNicRefClockHz = 54000000;

/// Identity of one adapter.
struct NicInfo {
    uint32_t typeNumber = 0;
    uint32_t subType = 0;
    uint64_t serial = 0;
    uint8_t ipv4Address[4] = {};
    uint8_t ipv6Addresses[3][16] = {};
    uint8_t macAddress[6] = {};
    uint32_t interfaceIndex = 0;
};

/// Serial number of an adapter: its MAC as a 48-bit big-endian number plus bit 62, XOR the
/// name hash shifted left by 24 bits.
constexpr uint64_t NicSerial(const uint8_t (&mac)[6], uint32_t nameHash)
{
    uint64_t m = 0;
    for (uint8_t octet : mac)
        m = (m << 8) | octet;
    return (m + kNicSerialBase) ^ (uint64_t(nameHash) << 24);
}

class INicHal {
public:
    virtual ~INicHal() = default;
    /// Copies the adapter's identity (all zero while closed). Always VDAPI_OK.
    virtual VdResult GetNicInfo(NicInfo& info) const = 0;
};

class NicHal : public INicHal {
public:
    /// Most adapters one open lists; the pseudo-adapter takes the slot after them.
    static constexpr int kMaxListedAdapters = 99;

    NicHal() = default;
    ~NicHal() override { Close(); }
    NicHal(const NicHal&) = delete;
    NicHal& operator=(const NicHal&) = delete;

    /// Selects the index-th (0-based) usable adapter of a fresh adapter list: adapters with a
    /// 6-byte MAC not beginning 00-14-F4, then the pseudo-adapter (only when at least one
    /// adapter was listed). VDAPI_E_NO_SUCH_DEVICE when there is no such adapter; the listing's
    /// error other than VDAPI_E_BUF_TOO_SMALL (VDAPI_E_OUT_OF_MEM, VDAPI_E_NW_DRIVER).
    VdResult Open(int index);
    /// Forgets the adapter (identity zeroed). Harmless when closed.
    void Close();
    bool IsOpen() const { return m_open; }

    VdResult GetNicInfo(NicInfo& info) const override;

    /// Looks `name` up for `port` (-1 the device) in the fixed table. The row's value when name
    /// and port match and `type` (a DriverProtocol::PropertyValueType) is the row's type;
    /// VDAPI_E_INVALID_TYPE when only the type differs. Without a matching row: value 0 and VDAPI_OK for a
    /// "CAP_" name (capability absent), else VDAPI_E_NOT_FOUND. value is 0 on every failure.
    VdResult GetProperty(std::string_view name, int port, int type, int64_t& value) const;

    /// Counter at the 54 MHz reference clock: the monotonic millisecond tick count times 54000,
    /// truncated to 32 bits. Always VDAPI_OK.
    VdResult GetRefClkCnt(uint32_t& count) const;

private:
    NicInfo m_info;
    bool m_open = false;
};

} // namespace Vdapi
