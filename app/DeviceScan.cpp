// The scan procedure: two-call lists from the device layer, the probe per port, the entries in
// scan order.
#include "app/DeviceScan.h"

#include "devices/Scan.h"
#include "devices/ScanSession.h"

#include <algorithm>

namespace Halvix {

namespace {

// More records than this are never asked for: 513 devices of at most 64 ports each.
constexpr int32_t kScanMaxRecords = Vdapi::kScanDeviceListSize * 64;

struct GroupRange {
    int32_t firstPort;
    int32_t lastPort;
};

/// The two-call protocol: learn the count with no room, then fill that many zeroed records.
/// `scan(capacity, count, buffer)` is one call of the layer.
template <class Record, class Scan>
std::vector<Record> twoCallList(Scan scan)
{
    int32_t count = 0;
    if (scan(0, count, nullptr) != Vdapi::VDAPI_E_BUF_TOO_SMALL || count <= 0 || count > kScanMaxRecords)
        return {};
    std::vector<Record> records(static_cast<size_t>(count));
    int32_t filled = 0;
    if (scan(count, filled, records.data()) != Vdapi::VDAPI_OK)
        return {};
    records.resize(size_t(std::clamp(filled, 0, count)));
    return records;
}

std::vector<GroupRange> groupsOf(int32_t typeNumber)
{
    switch (typeNumber) {
    case 2174:
        return {{1, 4}};
    case 2179:
        return {{1, 4}, {5, 8}, {9, 12}};
    default:
        return {};
    }
}

/// Ports whose ASI function the card's capabilities leave out.
bool hasUnannouncedAsi(const Vdapi::HwFunctionDescriptor& record)
{
    const int32_t type = record.device.typeNumber;
    return (type == 2180 && record.port == 4) || (type == 2182 && (record.port == 5 || record.port == 6));
}

} // namespace

std::vector<Vdapi::HwFunctionDescriptor> listPorts(bool includeVde, bool includeNic)
{
    return twoCallList<Vdapi::HwFunctionDescriptor>(
        [&](int32_t capacity, int32_t& count, Vdapi::HwFunctionDescriptor* buffer) {
            return Vdapi::ScanHwFunctions(capacity, count, buffer, includeVde, includeNic, 0);
        });
}

std::vector<Vdapi::DeviceDescriptor> listDevices()
{
    return twoCallList<Vdapi::DeviceDescriptor>([](int32_t capacity, int32_t& count, Vdapi::DeviceDescriptor* buffer) {
        return Vdapi::ScanDevices(Vdapi::ScanMode::All, 0, capacity, count, buffer, nullptr, nullptr, 0, 0, 0, 0, 0,
                                  nullptr, false, false, false, false);
    });
}

void appendPortEntries(ReportList& list, const std::vector<Vdapi::HwFunctionDescriptor>& ports,
                       const PortProbe& probe)
{
    for (const Vdapi::HwFunctionDescriptor& record : ports) {
        const bool available = probe(record);
        if (portHas(record, ReportCap::kAsi))
            addAsiPort(list, record, available);
        if (hasUnannouncedAsi(record))
            addAsiPort(list, record, available);
        if (portHas(record, ReportCap::kIp))
            addIpPort(list, record, available, Vdapi::GetAdapterLinkState);
        if (portHas(record, ReportCap::kDemod))
            addRfReceivePort(list, record, available);
        if (portHas(record, ReportCap::kMod))
            addRfTransmitPort(list, record, available);
        if (portHas(record, ReportCap::kSdi))
            addSdiPort(list, record, available);
    }
}

void appendGroupEntries(ReportList& list, const std::vector<Vdapi::DeviceDescriptor>& devices,
                        const std::vector<Vdapi::HwFunctionDescriptor>& ports, const PortProbe& probe)
{
    for (const Vdapi::DeviceDescriptor& device : devices) {
        for (const GroupRange& range : groupsOf(device.typeNumber)) {
            PortGroup group{};
            size_t filled = 0;
            for (const Vdapi::HwFunctionDescriptor& record : ports) {
                if (filled == group.size())
                    break;
                if (record.device.serial == device.serial && record.port >= range.firstPort &&
                    record.port <= range.lastPort)
                    group[filled++] = record;
            }
            add4kGroup(list, device, group, probe);
        }
    }
}

void scanDevices(ReportList& list, bool includeVde, bool includeNic, const PortProbe& probe)
{
    // One request, one session: both listings, every probe and the "4K" pass ask each device's
    // fixed properties once and find each device where the listing found it.
    const Vdapi::ScanSession session;
    const std::vector<Vdapi::HwFunctionDescriptor> ports = listPorts(includeVde, includeNic);
    appendPortEntries(list, ports, probe);
    appendGroupEntries(list, listDevices(), ports, probe);
}

} // namespace Halvix
