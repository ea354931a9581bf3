// What every platform shares about naming a kernel driver's devices: the path length limit, the
// legacy device names and the class GUIDs in their binary form.
#pragma once

#include "devices/DriverClass.h"
#include "devices/VdapiResult.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Vdapi {

/// Device paths of 256 characters or more are refused, as the system's device paths are.
inline constexpr size_t kMaxDriverPath = 255;

inline VdResult CheckDriverPathLength(size_t length)
{
    return length > kMaxDriverPath ? VDAPI_E_BUF_TOO_SMALL : VDAPI_OK;
}

/// Name of legacy PCI device index ("Vda1xx-7"), without any namespace prefix.
inline std::string LegacyDriverName(int index)
{
    return kLegacyDriverNamePrefix + std::to_string(index);
}

/// A class GUID in the field layout the system's device-interface calls take.
struct ClassGuidFields {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};
};

/// Parses a GUID in registry form, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (hex digits of
/// either case). False, with guid untouched, for anything else.
bool ParseClassGuid(const char* text, ClassGuidFields& guid);

} // namespace Vdapi
