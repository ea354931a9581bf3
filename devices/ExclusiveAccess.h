// Exclusive access to a port's hardware: single function blocks, collections of them that
// acquire all or nothing, and the legacy per-port request of cards with a hardware-access object.
#pragma once

#include "devices/IExclusiveAccess.h"
#include "devices/VdapiResult.h"
#include "devices/DriverRequests.h"
#include "devices/platform/IXpDriver.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Vdapi {

/// One hardware function block of a PCIe or Bb2 card, addressed by its identifier pair.
class FunctionBlock : public IExclusiveAccess {
public:
    FunctionBlock(IXpDriver* driver, DriverProtocol::BlockId id) : m_driver(driver), m_id(id) {}

    /// VDAPI_E_NOT_SUPPORTED for a command outside 1..4; VDAPI_E_DEV_DRIVER when the driver
    /// handle is not open; VDAPI_E_IN_USE when another user holds the block (a release
    /// answered that way gives VDAPI_E_COMMUNICATION); else the driver's answer.
    VdResult Exclusive(int32_t command) override;
    DriverProtocol::BlockId Id() const { return m_id; }

private:
    IXpDriver* m_driver; // not owned
    DriverProtocol::BlockId m_id;
};

/// The blocks one port uses for one purpose, claimed together.
class FunctionBlockCollection : public IExclusiveAccess {
public:
    FunctionBlockCollection() = default;
    FunctionBlockCollection(IXpDriver* driver, const std::vector<DriverProtocol::BlockId>& ids);

    /// VDAPI_E_INVALID_ARG for a command outside 1..4; VDAPI_OK for an empty collection.
    /// Otherwise the first block result that is neither VDAPI_OK nor VDAPI_E_NOT_SUPPORTED
    /// (blocks that do not support exclusive access are skipped). Stops at that failure, except
    /// release, which goes through all blocks. A failed acquire releases the blocks before the
    /// failing one, so nothing stays claimed.
    VdResult Exclusive(int32_t command) override;
    size_t Size() const { return m_blocks.size(); }
    const std::vector<FunctionBlock>& Blocks() const { return m_blocks; }

private:
    std::vector<FunctionBlock> m_blocks;
};

/// Exclusive access of one port of a card reached through a hardware-access object (legacy
/// PCI, USB): the driver's per-port request.
class LegacyPortAccess : public IExclusiveAccess {
public:
    /// `localPort` is the 0-based port index on the driver handle `driver`.
    LegacyPortAccess(IXpDriver* driver, int localPort) : m_driver(driver), m_port(localPort) {}

    /// VDAPI_E_NOT_SUPPORTED for a command outside 1..3; VDAPI_E_DEV_DRIVER when the handle is
    /// not open; VDAPI_E_IN_USE when another user holds the port (not for release); else the
    /// driver's answer.
    VdResult Exclusive(int32_t command) override;

private:
    IXpDriver* m_driver; // not owned
    int m_port;
};

/// Result of an exclusive-access request once the driver answered: "held by another user"
/// becomes VDAPI_E_IN_USE except for release (VDAPI_E_COMMUNICATION: the release did not
/// happen); a transport failure stays what it is.
VdResult ExclusiveRequestResult(VdResult requestResult, uint32_t windowsError, int32_t command);

} // namespace Vdapi
