// Capability indices the channel layer tests when it checks a port and chooses a channel.
#pragma once

#include "devices/CapabilityTable.h"

namespace Vdapi::ChannelCaps {

inline constexpr int kInput = kCapInput;
inline constexpr int kOutput = kCapOutput;
inline constexpr int kIp = kCapIp;
inline constexpr int kMatrix = 69;
inline constexpr int kAsi = kCapAsi;
inline constexpr int kAvEnc = 88;
inline constexpr int kVendorSt = 89;
inline constexpr int kDemod = 90;
inline constexpr int kIfAdc = 94;
inline constexpr int kMod = 96;
inline constexpr int kPhaseNoise = 97;
inline constexpr int kSdi = 100;
inline constexpr int kSpi = 101;

} // namespace Vdapi::ChannelCaps
