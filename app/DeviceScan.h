// One device scan: the ports and devices from the device layer, turned into report entries in
// scan order (every per-port entry, then the "4K" group entries).
#pragma once

#include "app/DeviceReport.h"

#include <vector>

namespace Halvix {

/// Every port of every device, by the two-call protocol (count first, then the records).
/// Empty when either call fails: scan failures only make the report shorter.
std::vector<Vdapi::HwFunctionDescriptor> listPorts(bool includeVde, bool includeNic);
/// Every PCI, PCIe and USB device, unsorted, by the two-call protocol; empty on failure.
std::vector<Vdapi::DeviceDescriptor> listDevices();

/// Appends each port's entries in list order. `probe` runs once per record, whatever its
/// capabilities; then ASI, the ASI ports the card does not announce (2180 port 4, 2182 ports 5
/// and 6), IP, receive RF, transmit RF and SDI entries follow, each test on its own.
void appendPortEntries(ReportList& list, const std::vector<Vdapi::HwFunctionDescriptor>& ports,
                       const PortProbe& probe);

/// Appends the "4K" group entries of the devices that have them, in device-list order: one group
/// (ports 1-4) of a 2174, three (1-4, 5-8, 9-12) of a 2179. A group takes the first four records
/// of `ports` with the device's serial and a port in its range.
void appendGroupEntries(ReportList& list, const std::vector<Vdapi::DeviceDescriptor>& devices,
                        const std::vector<Vdapi::HwFunctionDescriptor>& ports, const PortProbe& probe);

/// One complete scan against the device layer, deciding availability with `probe` (the
/// availability probe in the program). Entries appended before an exception (allocation, JSON,
/// the probe) stay in `list`; the exception passes on.
void scanDevices(ReportList& list, bool includeVde, bool includeNic, const PortProbe& probe);

} // namespace Halvix
