// What a channel claims exclusively on a port, as the device object hands it out; the
// implementations for function blocks and per-port requests are in ExclusiveAccess.h.
#pragma once

#include "devices/VdapiResult.h"

#include <cstdint>

namespace Vdapi {

/// Exclusive-access commands as the channel layer names them.
enum ExclusiveCommand : int32_t {
    kExclAcquire = 1,
    kExclRelease = 2,
    kExclProbe = 3,
    kExclPassThrough = 4, ///< handed to the driver unchanged
};

/// Something a channel can claim exclusively. Does not own the driver handle it talks through:
/// its owner keeps the handle (or the device holding it) alive for as long as this object.
class IExclusiveAccess {
public:
    virtual ~IExclusiveAccess() = default;
    /// Applies one ExclusiveCommand. VDAPI_E_IN_USE when another user holds the function
    /// (not for release); otherwise as the implementation says.
    virtual VdResult Exclusive(int32_t command) = 0;
};

} // namespace Vdapi
