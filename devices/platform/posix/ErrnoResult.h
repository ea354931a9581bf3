// The one place where an errno value becomes a result code of the device layer.
#pragma once

#include "devices/VdapiResult.h"

namespace Vdapi {

/// Maps err to a result code: ENOENT/ENOTDIR → VDAPI_E_NOT_FOUND; EACCES/EPERM/EROFS →
/// VDAPI_E_NO_PERMISSION; ENAMETOOLONG → VDAPI_E_BUF_TOO_SMALL; ENOMEM → VDAPI_E_OUT_OF_MEM;
/// EMFILE/ENFILE/ENOBUFS/ENOSPC → VDAPI_E_OUT_OF_RESOURCES; ETIMEDOUT → VDAPI_E_TIMEOUT;
/// EPIPE/ECONNRESET → VDAPI_E_COMMUNICATION; EBUSY → VDAPI_E_IN_USE. Any other errno gives
/// catchAll. Every call logs the operation, the raw errno and the code returned, so nothing is
/// lost: at Verbose for a missing object (the everyday answer of a look-up), at Warning
/// otherwise. The caller returns the result.
[[nodiscard]] VdResult ResultFromErrno(int err, VdResult catchAll, const char* operation);

} // namespace Vdapi
