// VdInpChannel: a receive channel on one port of an attached device.
#pragma once

#include "devices/channels/VdChannel.h"

namespace Vdapi {

/// Used by one thread at a time; detach waits up to 100 ms for an attach in progress.
class VdInpChannel : public VdChannel {
public:
    VdInpChannel() = default;
    /// Detaches (instantly) when still attached.
    ~VdInpChannel() override;

    /// Attaches to port (1-based) of `device`. Refusals, in order: VDAPI_E_ATTACHED;
    /// VDAPI_E_DEVICE; VDAPI_E_OBSOLETE_FW / VDAPI_E_TAINTED_FW; VDAPI_E_NO_SUCH_PORT;
    /// VDAPI_E_EXCL_MANDATORY (IP port without exclusive); VDAPI_E_NO_VD_INPUT (neither INPUT
    /// nor IP, or a bidirectional port not configured INPUT when probing). probeOnly asks
    /// whether the claim would succeed and leaves the channel detached (an IP port answers
    /// VDAPI_OK without asking the driver). A real attach chooses the implementation channel
    /// (VDAPI_E_NOT_SUPPORTED when none fits) and, with exclusive, acquires its blocks all or
    /// nothing (VDAPI_E_IN_USE when another user holds one).
    VdResult Attach(VdDevice* device, int port, bool exclusive, bool probeOnly);
    /// Releases the port. VDAPI_E_NOT_ATTACHED (also after a probe-only attach);
    /// VDAPI_E_TIMEOUT when the channel stays busy. flags bit 0: stop without waiting.
    VdResult Detach(int flags);
};

} // namespace Vdapi
