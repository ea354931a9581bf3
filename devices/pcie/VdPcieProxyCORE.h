// Proxy of a PCIe (or Bb2) driver's core function block: the driver handle and the requests
// the scan road sends through it.
#pragma once

#include "devices/DriverCalls.h"
#include "devices/IDriverAccess.h"
#include "devices/VdapiResult.h"
#include "devices/pcie/DriverProtocol.h"
#include "devices/DriverClass.h"
#include "devices/platform/IXpDriver.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace Vdapi {

/// A function-block proxy: one open driver interface plus the identifiers of its core block.
class VdProxyCORE {
public:
    explicit VdProxyCORE(DriverClass driverClass);
    virtual ~VdProxyCORE();
    VdProxyCORE(const VdProxyCORE&) = delete;
    VdProxyCORE& operator=(const VdProxyCORE&) = delete;

    /// Opens interface `index` shared (closing any earlier one). The open's error
    /// (VDAPI_E_NOT_FOUND, VDAPI_E_NO_PERMISSION, ...); VDAPI_E_OUT_OF_MEM when no driver
    /// object can be made.
    VdResult Open(int index);
    void Close();
    bool IsOpen() const;
    int Index() const { return m_index; }
    DriverClass Class() const { return m_class; }
    /// The core block, asked of the driver the first time it is needed on this open handle
    /// (most handles of a scan only read version and identity, which need no block). A core
    /// block the driver does not list reads as 0/0.
    DriverProtocol::BlockId CoreBlock();
    /// The open driver handle, or null; for channels that claim the device's blocks.
    IXpDriver* Driver() { return m_driver.get(); }

    /// Function blocks of port (0-based; -1 for the device) in `role`. VDAPI_E_DEV_DRIVER when
    /// not open; the driver's error; VDAPI_E_COMMUNICATION for a malformed list.
    VdResult ListBlocks(int port, DriverProtocol::BlockRole role, std::vector<DriverProtocol::BlockId>& blocks);

protected:
    /// DriverCall on the open handle; VDAPI_E_DEV_DRIVER when none is open.
    VdResult Call(uint32_t code, const void* input, uint32_t inputSize, void* output, uint32_t outputCapacity,
                  uint32_t minOutput, uint32_t* returned = nullptr);

private:
    DriverClass m_class;
    std::unique_ptr<IXpDriver> m_driver;
    int m_index = -1;
    DriverProtocol::BlockId m_core;
    bool m_coreKnown = false; ///< m_core was asked for on the open handle
};

class VdPcieProxyCORE : public VdProxyCORE, public IDriverAccess {
public:
    explicit VdPcieProxyCORE(DriverClass driverClass = DriverClass::Pcie) : VdProxyCORE(driverClass) {}

    /// Driver version. VDAPI_E_DEV_DRIVER when not open, else the request's error.
    VdResult GetVersion(DriverProtocol::VersionRecord& version);
    /// The information record, by the newer request and else by the older one (whose seventh
    /// driver word is 0).
    VdResult GetDeviceInfo(DriverProtocol::DeviceInfoRecord& info) override;
    VdResult GetProperty(const DriverProtocol::PropertyQuery& query, uint64_t& value) override;
    /// All look-ups in one batch on the core block.
    void GetProperties(std::span<const DriverProtocol::PropertyQuery> queries, std::span<uint64_t> values,
                       std::span<VdResult> results) override;
    VdResult GetIoConfig(DriverProtocol::IoConfigItem& item) override;
    VdResult GetPortMac(int port, uint8_t (&mac)[6]) override;
};

} // namespace Vdapi
