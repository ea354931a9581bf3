// The capability table: name, top-level mark and sub-value set of each capability index.
#pragma once

#include "devices/VdCaps.h"

#include <string_view>

namespace Vdapi {

/// Number of rows; an index of this value or more is invalid.
inline constexpr int kCapabilityCount = 230;

// Indices tested by the device layer and the application's report.
inline constexpr int kCapDisabled = 52;
inline constexpr int kCapInput = 53;
inline constexpr int kCapIntInput = 54;
inline constexpr int kCapIntOutput = 55;
inline constexpr int kCapMonitor = 56;
inline constexpr int kCapOutput = 57;
inline constexpr int kCapDblBuf = 59;
inline constexpr int kCapLoopThr = 62;
inline constexpr int kCapIp = 95;
inline constexpr int kCapAsi = 87;
inline constexpr int kCapMatrix = 69;
inline constexpr int kCapAvEnc = 88;
inline constexpr int kCapVendorSt = 89;
inline constexpr int kCapDemod = 90;
inline constexpr int kCapIfAdc = 94;
inline constexpr int kCapMod = 96;
inline constexpr int kCapPhaseNoise = 97;
inline constexpr int kCapSdi = 100;
inline constexpr int kCapSpi = 101;

struct CapabilityRow {
    const char* name = "";  ///< "" for an index this system gives no name
    bool topLevel = false;  ///< false on rows that are only sub-values of another capability
    VdCaps subValues;       ///< indices that become eligible once this capability is present
};

/// Row of index n, or nullptr for an index outside 0..229.
const CapabilityRow* CapabilityRowAt(int n);
/// Name of index n; "" for an unnamed index or one outside the table.
const char* CapabilityName(int n);
/// Index whose name is `name` (exact, case-sensitive), or -1.
int CapabilityIndex(std::string_view name);

} // namespace Vdapi
