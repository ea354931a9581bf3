// Hardware-access objects of the legacy PCI family: VdaHal serves one PCI function through its
// own driver interface; VdaMultiHal serves a card with several functions through its port map.
#pragma once

#include "devices/IDriverAccess.h"
#include "devices/VdapiResult.h"
#include "devices/pcie/DriverProtocol.h"
#include "devices/platform/IXpDriver.h"

#include <memory>
#include <span>
#include <vector>

namespace Vdapi {

/// What a legacy PCI device asks of its hardware-access object.
class IVdaHal : public IDriverAccess {
public:
    /// Information of the card (for a multi-function card: of its first function).
    virtual const DriverProtocol::LegacyFunctionInfo& Info() const = 0;
    /// Re-reads the information from the driver.
    virtual VdResult ReadInfo() = 0;
    /// The card's information record, freshly read.
    VdResult GetDeviceInfo(DriverProtocol::DeviceInfoRecord& info) final
    {
        const VdResult rc = ReadInfo();
        if (isSuccess(rc))
            info = Info().info;
        return rc;
    }
    /// The driver handle serving device port (0-based) and that port's index on it, or null.
    virtual IXpDriver* DriverForPort(int port, int& localPort) = 0;
};

class VdaHal : public IVdaHal {
public:
    VdaHal();
    ~VdaHal() override;

    /// Opens legacy interface `index` shared. The open's error.
    VdResult Open(int index);
    /// Opens the legacy device name Vda1xx-`index`, asks its version, closes again.
    static VdResult VersionByName(int index, DriverProtocol::VersionRecord& version);
    void Close();
    bool IsOpen() const;
    int Index() const { return m_index; }
    VdResult GetVersion(DriverProtocol::VersionRecord& version);

    const DriverProtocol::LegacyFunctionInfo& Info() const override { return m_info; }
    VdResult ReadInfo() override;
    VdResult GetProperty(const DriverProtocol::PropertyQuery& query, uint64_t& value) override;
    /// All look-ups in one batch on this function's handle.
    void GetProperties(std::span<const DriverProtocol::PropertyQuery> queries, std::span<uint64_t> values,
                       std::span<VdResult> results) override;
    VdResult GetIoConfig(DriverProtocol::IoConfigItem& item) override;
    IXpDriver* DriverForPort(int port, int& localPort) override;
    /// Index of this function within its card (from the information record).
    int32_t FunctionIndex() const { return m_info.info.private8; }

private:
    std::unique_ptr<IXpDriver> m_driver;
    int m_index = -1;
    DriverProtocol::LegacyFunctionInfo m_info;
};

/// A card with several PCI functions. Its ports are the functions' ports in function order;
/// it answers PORT_COUNT and MAIN_PORT_COUNT itself and rewrites port lookups for the driver.
class VdaMultiHal : public IVdaHal {
public:
    struct PortMapEntry {
        int subFunction; ///< position in the function list
        int port;        ///< port index on that function
    };

    /// Takes the card's functions (sorted here by function index; at least one).
    explicit VdaMultiHal(std::vector<std::unique_ptr<VdaHal>> functions);

    /// Builds the port map from each function's PORT_COUNT. That lookup's error.
    VdResult BuildPortMap();
    const std::vector<PortMapEntry>& PortMap() const { return m_portMap; }

    const DriverProtocol::LegacyFunctionInfo& Info() const override { return m_functions.front()->Info(); }
    VdResult ReadInfo() override;
    VdResult GetProperty(const DriverProtocol::PropertyQuery& query, uint64_t& value) override;
    /// Look-ups the card answers itself are answered at once; the others go in one batch per
    /// function.
    void GetProperties(std::span<const DriverProtocol::PropertyQuery> queries, std::span<uint64_t> values,
                       std::span<VdResult> results) override;
    VdResult GetIoConfig(DriverProtocol::IoConfigItem& item) override;
    IXpDriver* DriverForPort(int port, int& localPort) override;

private:
    /// Where one look-up goes: answered by the card (function -1: answer and value) or sent to
    /// function `function` of the list as `query`.
    struct PropertyRoute {
        int function = -1;
        VdResult answer = VDAPI_OK;
        uint64_t value = 0;
        DriverProtocol::PropertyQuery query;
    };
    PropertyRoute RouteProperty(const DriverProtocol::PropertyQuery& query) const;

    std::vector<std::unique_ptr<VdaHal>> m_functions;
    std::vector<PortMapEntry> m_portMap;
};

} // namespace Vdapi
