// The device report's entries: one JSON object per usable port (ASI, IP, RF, SDI) or per group
// of four ports ("4K"), with the texts the GUI shows for names, addresses and modulations.
#pragma once

#include "devices/DeviceDescriptor.h"
#include "devices/VdCaps.h"
#include "devices/platform/IXpNetwork.h"
#include "base/json/JsonRpcMessage.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Halvix {

/// The report as it is built: entries in the order they are appended.
using ReportList = std::vector<kel::Json>;

/// Decides whether one port is free for use now (the availability probe, or a stand-in).
using PortProbe = std::function<bool(const Vdapi::HwFunctionDescriptor&)>;

/// Reads the link state of the network adapter with a MAC address (the device layer's
/// `Vdapi::GetAdapterLinkState` in the program, or a stand-in).
using LinkStateLookup = std::function<Vdapi::VdResult(const uint8_t (&mac)[6], Vdapi::AdapterLinkState& state)>;

/// The four port records of a "4K" group in slot order; unfilled slots stay zero records.
using PortGroup = std::array<Vdapi::HwFunctionDescriptor, 4>;

/// Capability indices the report reads (names as in the device layer's capability table).
namespace ReportCap {
inline constexpr int kSws2Apsk = 35;
inline constexpr int kInput = 53;
inline constexpr int kOutput = 57;
inline constexpr int kIpPair = 67;
inline constexpr int kMatrix = 69;
inline constexpr int kAsi = 87;
inline constexpr int kDemod = 90;
inline constexpr int kIp = 95;
inline constexpr int kMod = 96;
inline constexpr int kSdi = 100;
} // namespace ReportCap

/// One modulation a port may receive or transmit: its capability index and the report's name.
struct ModulationName {
    int capability;
    const char* name;
};

/// Receive modulations in report order.
extern const std::vector<ModulationName> kReceiveModulationNames;
/// Transmit modulations in report order.
extern const std::vector<ModulationName> kTransmitModulationNames;

/// True when the port's capability set holds `capability` (an index of ReportCap or the table).
bool portHas(const Vdapi::HwFunctionDescriptor& record, int capability);

/// Family text of a device category: "VDA", "VDU", "VDE", "NIC"; "" for any other value.
std::string categoryName(int32_t category);
/// FAMILY-TYPE:PORT of a port record, e.g. "VDA-2144:1"; starts with "-" for an unknown family.
std::string portDeviceName(const Vdapi::HwFunctionDescriptor& record);
/// Six upper-case hex pairs joined by "-", e.g. "00-14-F4-0A-1B-2C"; always 17 characters.
std::string macText(const uint8_t (&mac)[6]);
/// Four unpadded decimals joined by ".", e.g. "192.168.0.17"; "0.0.0.0" when unset.
std::string ipText(const uint8_t (&ip)[4]);
/// Names of the receive modulations in `caps`, in table order; [] when none.
kel::Json receiveModulations(const Vdapi::VdCaps& caps);
/// Names of the transmit modulations in `caps`, in table order; [] when none.
kel::Json transmitModulations(const Vdapi::VdCaps& caps);

/// Appends an "ASI" entry for the port.
void addAsiPort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available);
/// Appends an "IP" entry, except for the "any local adapter" pseudo-device (IP 0.0.0.0 with
/// MAC FF-FF-FF-FF-FF-FF), which gets none. For a network adapter (category 4) the name,
/// availability and link speeds come from `linkState` of the device's MAC; an adapter that is
/// not found (or a list that cannot be read) gives not available, speeds "0".
void addIpPort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available,
               const LinkStateLookup& linkState);
/// Appends a receive "RF" entry; port 1 of a 2132 lists no "iq".
void addRfReceivePort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available);
/// Appends a transmit "RF" entry.
void addRfTransmitPort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available);
/// Appends an "SDI" entry; "huffmanCapability" is always false.
void addSdiPort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available);
/// Appends the "4K" entry of a group of `device`, running `probe` on each record in slot order.
/// Availability, input, output and matrix hold only when every record passes; a zero record fails.
void add4kGroup(ReportList& list, const Vdapi::DeviceDescriptor& device, const PortGroup& group,
                const PortProbe& probe);

} // namespace Halvix
