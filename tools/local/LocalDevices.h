// What the tools ask the device layer of this machine directly, beside a brick's report: whether
// anything below the run directory can be scanned at all.
#pragma once

#include "devices/DeviceDescriptor.h"
#include "devices/VdapiResult.h"

#include <string>
#include <vector>

namespace local {

/// Where the device layer of this process looks for devices, for messages: "the devices below
/// DIR" (the run directory: $VDAPI_RUN_DIR, or /run/vdapi) on Linux, "this machine's devices"
/// on Windows.
std::string scanScope();

/// True when the run directory holds a kernel-driver interface of any class, a legacy driver
/// name or the device service's pipe. Opens nothing but a moment's handle on what it finds.
bool hasDriverOrService();

/// True when address (a dotted quad) is one of this machine's: loopback (127/8) or the IPv4
/// address of one of its network adapters. A brick dialling from there shares this machine's
/// device layer.
bool isLocalAddress(const std::string& address);

/// Why nothing can be scanned and what to check ("no driver or device service found below DIR:
/// is vdsim running, or VDAPI_RUN_DIR set?" on Linux).
std::string nothingToScanMessage();

/// One complete two-call port scan (count, then fill) of ScanHwFunctions into ports.
Vdapi::VdResult scanPorts(std::vector<Vdapi::HwFunctionDescriptor>& ports, bool vde, bool nic, int32_t order);

/// Why a port cannot be taken now, asked the way a streaming application would take it and
/// let go at once: "device attach gave NAME", "no link", "held by another user",
/// "input NAME, output NAME"; "" when it could be taken. For a network adapter: "link down" or
/// "adapter gone". Nothing stays claimed.
std::string whyNotFree(const Vdapi::HwFunctionDescriptor& port);

/// What the device layer knows of the port's device beside the report: "firmware 3" (with
/// "tainted" or "obsolete" when so reported); for a network adapter its system interface
/// name and MAC address.
std::string deviceFacts(const Vdapi::HwFunctionDescriptor& port);

} // namespace local
