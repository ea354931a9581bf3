// Capability indices the channel layer tests when it checks a port and chooses a channel.
#pragma once

#include "devices/CapabilityTable.h"

namespace Vdapi::ChannelCaps {

inline constexpr int kInput = kCapInput;
inline constexpr int kOutput = kCapOutput;
inline constexpr int kIp = kCapIp;
inline constexpr int kMatrix = kCapMatrix;
inline constexpr int kAsi = kCapAsi;
inline constexpr int kAvEnc = kCapAvEnc;
inline constexpr int kVendorSt = kCapVendorSt;
inline constexpr int kDemod = kCapDemod;
inline constexpr int kIfAdc = kCapIfAdc;
inline constexpr int kMod = kCapMod;
inline constexpr int kPhaseNoise = kCapPhaseNoise;
inline constexpr int kSdi = kCapSdi;
inline constexpr int kSpi = kCapSpi;

} // namespace Vdapi::ChannelCaps
