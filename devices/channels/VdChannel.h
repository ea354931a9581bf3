// What input and output channels share: the attached state, the port record, the use lock,
// the checks every attach makes first, and detach.
#pragma once

#include "devices/DeviceDescriptor.h"
#include "devices/VdDevice.h"
#include "devices/channels/ImplChannel.h"

#include <memory>
#include <mutex>

namespace Vdapi {

/// Flags of a channel detach.
enum ChannelDetachFlags : int {
    kDetachInstant = 1, ///< stop at once, dropping buffered data
    kDetachFinish = 2,  ///< output only: send what is buffered before stopping
};

class VdChannel {
public:
    virtual ~VdChannel();
    VdChannel(const VdChannel&) = delete;
    VdChannel& operator=(const VdChannel&) = delete;

    /// Attached exactly while an implementation channel is held.
    bool IsAttached() const;
    /// The attached port's record (a default record while detached).
    HwFunctionDescriptor Port() const;
    /// Kind of the implementation channel, when attached.
    std::optional<ImplChannelKind> ImplKind() const;

protected:
    VdChannel() = default;

    /// The checks before any attach, in order: VDAPI_E_ATTACHED; VDAPI_E_DEVICE for a null or
    /// detached device; the family device's firmware status (VDAPI_E_OBSOLETE_FW,
    /// VDAPI_E_TAINTED_FW); VDAPI_E_NO_SUCH_PORT outside 1..ports. Caller holds m_use.
    VdResult CheckAttach(VdDevice* device, int port) const;
    /// Real attach of a family device port (1-based) with the chosen kind.
    VdResult AttachImpl(VdDevice& device, int port, ImplChannelKind kind, bool exclusive);
    /// Real attach of a Bb2 card's port through a driver handle of its own.
    VdResult AttachBb2Impl(VdDevice& device, int port, ImplChannelKind kind, bool exclusive);
    /// Attaches `channel`; on success keeps it and the port's descriptor. Returns the attach result.
    VdResult AdoptImpl(VdDevice& device, int port, std::unique_ptr<ImplChannel> channel, bool exclusive);
    /// VDAPI_E_TIMEOUT when the use lock stays taken for 10 tries 10 ms apart;
    /// VDAPI_E_NOT_ATTACHED; VDAPI_E_INVALID_FLAGS for instant and finish together when
    /// `output`; else stops (instant when flags bit 0) and drops the implementation channel.
    VdResult DetachImpl(int flags, bool output);

    mutable std::mutex m_use; // the use lock: guards m_impl and m_port
    std::unique_ptr<ImplChannel> m_impl;
    HwFunctionDescriptor m_port;
};

/// IODIR value of port (1-based), through the device object. The read's error.
VdResult ReadPortDirection(VdDevice& device, int port, int& value);

} // namespace Vdapi
