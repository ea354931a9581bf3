// The simulated rig: drivers, cards with their ports, the device service and its Ethernet
// devices, as read from a rig file and completed from the catalog of device types.
//
// Rig file (JSON object; every key optional unless marked):
//   "drivers": { "pcie"|"legacy"|"bb2"|"usb": { "version": "A.B.C[.D]",
//                "infoRequest": "new"|"old" (pcie/bb2: "old" refuses the newer info request),
//                "interfaces": bool, "names": bool (legacy: serve the class / the Vda1xx-N names) } }
//   "devices": [ { "type": N (required, a catalog type), "serial": N (required, unique),
//                  "index": first interface index (else the next free one; a legacy card takes
//                  one index per PCI function), "bus", "slot", "subType", "hardwareRevision",
//                  "firmwareVersion", "firmwareVariant", "firmwareStatus", "vendorId", "deviceId",
//                  "subVendorId", "subsystemId", "infoBlock": [u16, u8, u8, u8, u8],
//                  "driverInfo": [7 ints], "usbProductId", "usbVendorId", "usbAddress",
//                  "functions": [ports per PCI function] (legacy), "present": bool,
//                  "properties": { NAME: value | null (removes) },
//                  "portOverrides": [ { "port": 1-based (required), "caps": [...] (replaces),
//                      "addCaps": [...], "removeCaps": [...], "direction": "input"|"output"|"disabled",
//                      "io": { GROUP: "VALUE[/SUBVALUE]" | {"value","subValue","par1","par2"} },
//                      "properties": {...}, "linkSpeed": driver code,
//                      "mac": "aa-bb-cc-dd-ee-ff" (IP ports; else derived from serial and port) } ] } ]
//   "service": { "enabled": bool, "version": "A.B.C[.D]", "mutexName", "listName",
//                "devices": [ { "type", "serial" (required), "ip": "a.b.c.d", "mac": "aa-bb-cc-dd-ee-ff",
//                  "firmwareVersion", "firmwareVariant", "opMode", "port", "properties",
//                  "strings": { NAME: text }, "portOverrides": [...] } ] }
#pragma once

#include "devices/vde/ServiceProtocol.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace vdsim {

enum class Family { Pcie, Legacy, Bb2, Usb };
const char* familyName(Family f);

struct Version {
    int32_t major = 0, minor = 0, bugfix = 0, build = 0;
};

/// One I/O-configuration setting of a port: value and sub-value names, two parameters.
struct IoSetting {
    std::string value, subValue;
    int64_t par1 = -1, par2 = -1;
};

struct PortSpec {
    std::set<std::string> caps;                ///< capability names; "CAP_<name>" answers 1
    std::map<std::string, int64_t> properties; ///< further per-port properties
    std::map<std::string, IoSetting> io;       ///< group name -> setting
    int32_t linkSpeedCode = 2;                 ///< driver link-speed code of an IP port
    std::optional<std::array<uint8_t, 6>> mac; ///< MAC of an IP port; unset: derived (portMac)
};

struct DeviceSpec {
    Family family = Family::Pcie;
    int32_t typeNumber = 0, subType = 0;
    int64_t serial = 0;
    int32_t hardwareRevision = 0, firmwareVersion = 0, firmwareVariant = 0, firmwareStatus = 0;
    uint16_t vendorId = 0, deviceId = 0, subVendorId = 0, subsystemId = 0;
    int32_t pciBus = 0, pciSlot = 0;
    uint16_t infoBlockWord = 0;
    std::array<uint8_t, 4> infoBlockBytes{};
    std::array<int32_t, 7> driverInfo{};
    uint16_t usbProductId = 0, usbVendorId = 0;
    uint32_t usbAddress = 0;
    std::map<std::string, int64_t> deviceProperties;
    std::vector<PortSpec> ports;
    std::vector<int> functionPorts; ///< legacy: ports per PCI function (sums to ports.size())
    int firstIndex = -1;            ///< first driver interface index (assigned when absent)
    bool present = true;            ///< plugged at start
};

struct DriverSpec {
    Version version;
    bool newInfoRequest = true; ///< PCIe/Bb2: answers the newer information request
    bool interfaces = true;     ///< legacy: serve the interface class
    bool names = true;          ///< legacy: serve the Vda1xx-N names
};

struct ServiceDevice {
    Vdapi::ServiceProtocol::VdeListEntry entry;
    std::map<std::string, int64_t> deviceProperties;
    std::map<std::string, std::string> strings; ///< string properties (command 7), device level
    std::vector<PortSpec> ports;
};

struct ServiceSpec {
    bool enabled = true;
    Version version{5, 2, 0, 0};
    std::string mutexName = "VdeSvcListMutex";
    std::string listName = "VdeSvcList";
    std::vector<ServiceDevice> devices;
};

struct Rig {
    std::map<Family, DriverSpec> drivers;
    std::vector<DeviceSpec> devices;
    ServiceSpec service;
};

/// A rig file that cannot be used; what() names the file and the offending place.
struct RigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Reads and validates a rig file. Throws RigError (unreadable file, bad JSON, unknown type,
/// duplicate serial or interface index, values out of range).
Rig loadRigFile(const std::string& path);
/// Builds a rig from JSON text; `origin` names the source in error messages. Throws RigError.
Rig parseRig(const nlohmann::json& doc, const std::string& origin);

/// Property of a card or service device: port -1 is the device level, else 0-based port.
/// Answers PORT_COUNT, MAIN_PORT_COUNT, CAP_*, SUB_PORT_MAP and the port descriptions' properties.
std::optional<int64_t> lookupProperty(const std::map<std::string, int64_t>& deviceProperties,
                                      const std::vector<PortSpec>& ports, int32_t port,
                                      const std::string& name);

/// Catalog defaults of a type (device properties and ports), for look-ups that name another
/// type than the device's own. Returns false when the catalog does not know the type.
bool catalogTypeSpec(int32_t typeNumber, std::map<std::string, int64_t>& deviceProperties,
                     std::vector<PortSpec>& ports);

/// MAC address a card's IP port (0-based) answers: the rig's, else the locally administered
/// 02-56-44 followed by the low 16 bits of the serial and the port number.
std::array<uint8_t, 6> portMac(const DeviceSpec& device, size_t port);

/// Parses "A.B.C" or "A.B.C.D". Returns false on anything else.
bool parseVersion(const std::string& text, Version& out);

} // namespace vdsim
