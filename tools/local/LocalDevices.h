// What the tools ask the device layer of this machine directly, beside a brick's report: whether
// anything below the run directory can be scanned at all.
#pragma once

#include <string>

namespace local {

/// The run directory this process's device layer reads: $VDAPI_RUN_DIR, or /run/vdapi.
std::string runDirectory();

/// True when the run directory holds a kernel-driver interface of any class, a legacy driver
/// name or the device service's pipe. Opens nothing but a moment's handle on what it finds.
bool hasDriverOrService();

/// True when address (a dotted quad) is one of this machine's: loopback (127/8) or the IPv4
/// address of one of its network adapters. A brick dialling from there shares this machine's
/// device layer.
bool isLocalAddress(const std::string& address);

/// "no driver or device service found below DIR: is vdsim running, or VDAPI_RUN_DIR set?"
std::string nothingToScanMessage();

} // namespace local
