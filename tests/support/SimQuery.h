// Test helpers over a running simulator: its control replies (counters, holds) and the port
// records the device layer lists.
#pragma once

#include "devices/DeviceDescriptor.h"
#include "tests/support/SimProcess.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace VdapiTest {

using ::test::SimProcess;

// Simulator counter names of the driver requests the channel layer sends.
inline constexpr const char* kExclusiveAccessKind = "0xafc86f06"; ///< function-block exclusive access
inline constexpr const char* kPortExclusiveKind = "0xb02c70ae";   ///< legacy/USB per-port exclusive access
inline constexpr const char* kLinkSpeedKind = "0xafc86fbe";
inline constexpr const char* kIoConfigKind = "0xafc86f0e";

/// The simulator's request counters by kind ("0xafc86f06" = exclusive access, ...).
std::map<std::string, uint64_t> Counters(const SimProcess& sim);
/// Number of function blocks held on the card with `serial` (-1 when it cannot be read).
int Holds(const SimProcess& sim, int64_t serial);
/// Every port record the device layer lists (PCI-style families) in `order`; the listing's
/// result in `rc` when asked for.
std::vector<Vdapi::HwFunctionDescriptor> ListAllPorts(int32_t order = 0, Vdapi::VdResult* rc = nullptr);
/// Every device the layer lists (ScanMode::All, network adapters left out), at most 64; the
/// scan's result in `rc`.
std::vector<Vdapi::DeviceDescriptor> ListAllDevices(Vdapi::VdResult& rc);
/// The record of port (1-based) of the device with `serial`; a zero record when absent.
Vdapi::HwFunctionDescriptor FindPort(const std::vector<Vdapi::HwFunctionDescriptor>& ports, int64_t serial,
                                     int port);
/// Path of the reference rig shipped with the simulator.
inline std::string ReferenceRig() { return ::test::sourcePath("sim/rigs/reference.json"); }

} // namespace VdapiTest
