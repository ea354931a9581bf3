// Kernel-driver handle on Windows: a device interface found through SetupAPI (or a legacy
// device name) opened with CreateFileA, requests sent with DeviceIoControl.
#pragma once

#include "devices/platform/IXpDriver.h"
#include "devices/platform/windows/UniqueHandle.h"

#include <string>

namespace Vdapi {

class XpDriverWindows final : public IXpDriver {
public:
    explicit XpDriverWindows(DriverClass driverClass) : driverClass_(driverClass) {}
    ~XpDriverWindows() override = default;

    VdResult Open(int index, bool overlapped, bool shared) override;
    VdResult OpenLegacy(int index, bool shared) override;
    VdResult Request(uint32_t code, const void* input, uint32_t inputSize, void* output, uint32_t outputCapacity,
                     uint32_t* returnedSize, uint32_t* windowsError) override;
    void Close() override { device_.reset(); }
    bool IsOpen() const override { return device_.valid(); }
    VdResult ListInterfaces(uint64_t& presentMask) override;

private:
    /// The device path of interface index of the class; VDAPI_E_NOT_FOUND when it is absent.
    VdResult interfacePath(int index, std::string& path) const;
    VdResult openPath(const std::string& path, bool overlapped, bool shared);

    DriverClass driverClass_;
    UniqueHandle device_;
    UniqueHandle completion_; ///< manual-reset event of overlapped requests; made on first use
    bool overlapped_ = false;
};

} // namespace Vdapi
