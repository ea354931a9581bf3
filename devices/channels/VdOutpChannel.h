// VdOutpChannel: a transmit channel on one port of an attached device.
#pragma once

#include "devices/channels/VdChannel.h"

namespace Vdapi {

/// Used by one thread at a time; detach waits up to 100 ms for an attach in progress.
class VdOutpChannel : public VdChannel {
public:
    VdOutpChannel() = default;
    /// Detaches (instantly) when still attached.
    ~VdOutpChannel() override;

    /// Attaches to port (1-based) of `device`, always exclusively. Refusals, in order:
    /// VDAPI_E_ATTACHED; VDAPI_E_DEVICE; VDAPI_E_OBSOLETE_FW / VDAPI_E_TAINTED_FW;
    /// VDAPI_E_NO_SUCH_PORT; VDAPI_E_NOT_SUPPORTED on a Bb2 card; VDAPI_E_NO_VD_OUTPUT (no
    /// OUTPUT, IP or PHASENOISE, or a bidirectional port not configured OUTPUT when probing).
    /// Then as VdInpChannel::Attach.
    VdResult Attach(VdDevice* device, int port, bool probeOnly);
    /// Releases the port. VDAPI_E_NOT_ATTACHED; VDAPI_E_TIMEOUT; VDAPI_E_INVALID_FLAGS for
    /// bits 0 (stop at once) and 1 (finish sending first) together.
    VdResult Detach(int flags);
};

} // namespace Vdapi
