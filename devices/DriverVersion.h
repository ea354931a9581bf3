// Minimum kernel-driver versions per PCI-style family and the field-by-field comparison.
#pragma once

#include "devices/DriverRequests.h"

namespace Vdapi {

struct MinimumVersion {
    int32_t major, minor, bugfix, build; ///< build -1: any build
};

inline constexpr MinimumVersion kPcieMinimumVersion{1, 3, 1, -1};
inline constexpr MinimumVersion kLegacyMinimumVersion{4, 20, 1, -1};
/// Attaching a USB device needs driver 4.8 or later; listing accepts any.
inline constexpr MinimumVersion kUsbMinimumVersion{4, 8, -1, -1};
/// The Bb2 family accepts any driver that reports a non-negative version.
inline constexpr MinimumVersion kBb2MinimumVersion{0, 0, 0, 0};

/// True when `v` is at least `min`, compared from the most significant field; a field of -1
/// in `min` matches anything from there on.
constexpr bool VersionAtLeast(const DriverProtocol::VersionRecord& v, const MinimumVersion& min)
{
    const int32_t have[4] = {v.major, v.minor, v.bugfix, v.build};
    const int32_t need[4] = {min.major, min.minor, min.bugfix, min.build};
    for (int i = 0; i < 4; ++i) {
        if (need[i] < 0)
            return true;
        if (have[i] != need[i])
            return have[i] > need[i];
    }
    return true;
}

} // namespace Vdapi
