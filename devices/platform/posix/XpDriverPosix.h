// Kernel-driver handle on POSIX: a Unix stream socket per device interface, speaking the
// request/reply format of DriverWire.h.
#pragma once

#include "devices/platform/IXpDriver.h"
#include "devices/platform/posix/UniqueFd.h"

#include <string>

namespace Vdapi {

class XpDriverPosix final : public IXpDriver {
public:
    explicit XpDriverPosix(DriverClass driverClass) : driverClass_(driverClass) {}
    ~XpDriverPosix() override = default;

    VdResult Open(int index, bool overlapped, bool shared) override;
    VdResult OpenLegacy(int index, bool shared) override;
    VdResult Request(uint32_t code, const void* input, uint32_t inputSize, void* output,
                     uint32_t outputCapacity, uint32_t* returnedSize, uint32_t* windowsError) override;
    void Close() override { socket_.reset(); }
    bool IsOpen() const override { return socket_.valid(); }
    VdResult ListInterfaces(uint64_t& presentMask) override;

private:
    VdResult openPath(const std::string& path);
    /// Sends or receives exactly length bytes on the blocking socket; false when the exchange broke.
    bool exchangeAll(bool sending, uint8_t* bytes, size_t length);
    bool sendAll(const void* data, size_t length)
    {
        // send never writes through the pointer; one loop serves both directions.
        return exchangeAll(true, static_cast<uint8_t*>(const_cast<void*>(data)), length);
    }
    bool receiveAll(void* data, size_t length)
    {
        return exchangeAll(false, static_cast<uint8_t*>(data), length);
    }
    /// Ends a broken exchange: the stream cannot be trusted any more, so the handle is closed.
    VdResult brokenExchange(const char* what, uint32_t code);

    DriverClass driverClass_;
    UniqueFd socket_; ///< blocking stream socket; invalid when not open
};

} // namespace Vdapi
