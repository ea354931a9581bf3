// The list of Ethernet-attached devices: the device service's list when it can be read, else
// the program's own WS-Discovery over every local adapter.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/vde/ServiceProtocol.h"

#include <cstdint>

namespace Vdapi::VdeEnum {

/// Most entries an enumeration returns.
inline constexpr int32_t kMaxEntries = 512;

/// Fills up to `count` entries (count in: room; out: entries filled). refresh asks the service
/// to rediscover first; a refused refresh falls back to discovery. Returns VDAPI_OK (also for
/// no device); VDAPI_E_NOT_FOUND when the service's list cannot be read and the adapters
/// cannot be listed; VDAPI_E_INVALID_BUF for a null array with room.
VdResult Enumerate(ServiceProtocol::VdeListEntry* entries, int32_t& count, bool refresh);

/// Removes later duplicates (same IPv4 and MAC address as an earlier entry) in place; the
/// first occurrence stays and later entries move up. Returns the new count.
int32_t RemoveDuplicates(ServiceProtocol::VdeListEntry* entries, int32_t count);

} // namespace Vdapi::VdeEnum
