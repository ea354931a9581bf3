// Rig file reader: validates the JSON, completes devices from the catalog and assigns driver
// interface indices.
#include "sim/Rig.h"

#include "sim/Catalog.h"


#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>

namespace vdsim {

using nlohmann::json;

const char* familyName(Family f)
{
    switch (f) {
    case Family::Pcie: return "pcie";
    case Family::Legacy: return "legacy";
    case Family::Bb2: return "bb2";
    case Family::Usb: return "usb";
    }
    return "?";
}

std::array<uint8_t, 6> portMac(const DeviceSpec& device, size_t port)
{
    if (port < device.ports.size() && device.ports[port].mac) return *device.ports[port].mac;
    const uint64_t serial = uint64_t(device.serial);
    return {0x02, 0x56, 0x44, uint8_t(serial >> 8), uint8_t(serial), uint8_t(port + 1)};
}

bool parseVersion(const std::string& text, Version& out)
{
    int32_t v[4] = {0, 0, 0, 0};
    size_t field = 0, digits = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0 || ++field > 3) return false;
            digits = 0;
        } else if (c >= '0' && c <= '9') {
            if (++digits > 9) return false;
            v[field] = v[field] * 10 + (c - '0');
        } else {
            return false;
        }
    }
    if (digits == 0 || field < 2) return false;
    out = {v[0], v[1], v[2], v[3]};
    return true;
}

namespace {

/// Error context: which file and which element.
struct Where {
    const std::string& origin;
    std::string path;
    [[noreturn]] void fail(const std::string& why) const
    {
        throw RigError(origin + ": " + (path.empty() ? "" : path + ": ") + why);
    }
    Where at(const std::string& sub) const { return {origin, path.empty() ? sub : path + "." + sub}; }
};

int64_t intValue(const json& v, const Where& w, int64_t lo, int64_t hi)
{
    if (!v.is_number_integer()) w.fail("expected an integer");
    int64_t x = v.is_number_unsigned() ? int64_t(v.get<uint64_t>()) : v.get<int64_t>();
    if (x < lo || x > hi) w.fail("value " + std::to_string(x) + " out of range");
    return x;
}

int64_t intMember(const json& obj, const char* key, const Where& w, int64_t dflt, int64_t lo, int64_t hi)
{
    auto it = obj.find(key);
    return it == obj.end() ? dflt : intValue(*it, w.at(key), lo, hi);
}

const json& objectMember(const json& obj, const char* key, const Where& w)
{
    static const json empty = json::object();
    auto it = obj.find(key);
    if (it == obj.end()) return empty;
    if (!it->is_object()) w.at(key).fail("expected an object");
    return *it;
}

std::string stringMember(const json& obj, const char* key, const Where& w, const std::string& dflt)
{
    auto it = obj.find(key);
    if (it == obj.end()) return dflt;
    if (!it->is_string()) w.at(key).fail("expected a string");
    return it->get<std::string>();
}

bool boolMember(const json& obj, const char* key, const Where& w, bool dflt)
{
    auto it = obj.find(key);
    if (it == obj.end()) return dflt;
    if (!it->is_boolean()) w.at(key).fail("expected true or false");
    return it->get<bool>();
}

/// "VALUE" or "VALUE/SUBVALUE"; for IODIR a bare value is its own sub-value.
IoSetting parseIoSetting(const std::string& group, const json& v, const Where& w)
{
    IoSetting s;
    if (v.is_string()) {
        std::string text = v.get<std::string>();
        auto slash = text.find('/');
        s.value = text.substr(0, slash);
        if (slash != std::string::npos) s.subValue = text.substr(slash + 1);
        else if (group == "IODIR") s.subValue = s.value;
    } else if (v.is_object()) {
        s.value = stringMember(v, "value", w, "");
        s.subValue = stringMember(v, "subValue", w, group == "IODIR" ? s.value : "");
        s.par1 = intMember(v, "par1", w, -1, INT64_MIN, INT64_MAX);
        s.par2 = intMember(v, "par2", w, -1, INT64_MIN, INT64_MAX);
    } else {
        w.fail("expected \"VALUE[/SUBVALUE]\" or an object");
    }
    if (s.value.empty() || s.value.size() > 49 || s.subValue.size() > 49) w.fail("bad configuration value");
    return s;
}

void applyProperties(std::map<std::string, int64_t>& props, const json& obj, const Where& w)
{
    for (const auto& [name, v] : obj.items()) {
        if (name.empty() || name.size() > 49) w.at(name).fail("property names have 1 to 49 characters");
        if (v.is_null()) props.erase(name);
        else if (v.is_boolean()) props[name] = v.get<bool>() ? 1 : 0;
        else props[name] = intValue(v, w.at(name), INT64_MIN, INT64_MAX);
    }
}

std::set<std::string> capList(const json& v, const Where& w)
{
    if (!v.is_array()) w.fail("expected an array of capability names");
    std::set<std::string> out;
    for (const auto& c : v) {
        if (!c.is_string() || c.get<std::string>().empty() || c.get<std::string>().size() > 45)
            w.fail("capability names are non-empty strings");
        out.insert(c.get<std::string>());
    }
    return out;
}

std::array<uint8_t, 6> parseMac(const std::string& text, const Where& w);

/// Applies a port description (catalog) or a port override (rig) onto `port`.
void applyPortSpec(PortSpec& port, const json& desc, const Where& w)
{
    if (!desc.is_object()) w.fail("expected an object");
    if (desc.contains("caps")) port.caps = capList(desc["caps"], w.at("caps"));
    if (desc.contains("addCaps"))
        for (const auto& c : capList(desc["addCaps"], w.at("addCaps"))) port.caps.insert(c);
    if (desc.contains("removeCaps"))
        for (const auto& c : capList(desc["removeCaps"], w.at("removeCaps"))) port.caps.erase(c);
    for (const auto& [group, v] : objectMember(desc, "io", w).items()) {
        if (group.empty() || group.size() > 49) w.at("io").fail("bad group name");
        port.io[group] = parseIoSetting(group, v, w.at("io").at(group));
    }
    if (desc.contains("direction")) {
        std::string d = stringMember(desc, "direction", w, "");
        if (d == "input") port.io["IODIR"] = {"INPUT", "INPUT"};
        else if (d == "output") port.io["IODIR"] = {"OUTPUT", "OUTPUT"};
        else if (d == "disabled") port.io["IODIR"] = {"DISABLED", ""};
        else w.at("direction").fail("expected \"input\", \"output\" or \"disabled\"");
    }
    applyProperties(port.properties, objectMember(desc, "properties", w), w.at("properties"));
    port.linkSpeedCode = int32_t(intMember(desc, "linkSpeed", w, port.linkSpeedCode, INT32_MIN, INT32_MAX));
    if (desc.contains("mac")) port.mac = parseMac(stringMember(desc, "mac", w, ""), w.at("mac"));
}

struct TypeDefaults {
    std::string family;
    int32_t subType = 0;
    std::map<std::string, int64_t> deviceProperties;
    std::vector<PortSpec> ports;
};

bool typeDefaults(int32_t typeNumber, TypeDefaults& out)
{
    const json& cat = catalog();
    auto it = cat.find(std::to_string(typeNumber));
    if (it == cat.end()) return false;
    static const std::string origin = "catalog";
    Where w{origin, std::to_string(typeNumber)};
    const json& t = *it;
    out.family = t.at("family").get<std::string>();
    out.subType = int32_t(intMember(t, "subType", w, 0, INT32_MIN, INT32_MAX));
    int64_t n = intMember(t, "ports", w, 0, 0, 64);
    PortSpec base;
    if (t.contains("port")) applyPortSpec(base, t["port"], w.at("port"));
    base.properties.emplace("SUB_PORT_MAP", 0);
    out.ports.assign(size_t(n), base);
    for (const auto& [key, desc] : objectMember(t, "perPort", w).items()) {
        int p = std::atoi(key.c_str());
        if (p < 1 || p > n) w.fail("perPort " + key + " outside the ports");
        PortSpec ps;
        ps.properties.emplace("SUB_PORT_MAP", 0);
        applyPortSpec(ps, desc, w.at("perPort").at(key));
        out.ports[size_t(p - 1)] = ps;
    }
    out.deviceProperties["PORT_COUNT"] = n;
    out.deviceProperties["MAIN_PORT_COUNT"] = n;
    applyProperties(out.deviceProperties, objectMember(t, "device", w), w.at("device"));
    return true;
}

void applyPortOverrides(std::vector<PortSpec>& ports, const json& dev, const Where& w)
{
    auto it = dev.find("portOverrides");
    if (it == dev.end()) return;
    if (!it->is_array()) w.at("portOverrides").fail("expected an array");
    for (size_t i = 0; i < it->size(); ++i) {
        Where pw = w.at("portOverrides[" + std::to_string(i) + "]");
        const json& o = (*it)[i];
        if (!o.is_object()) pw.fail("expected an object");
        int64_t p = intMember(o, "port", pw, 0, 1, int64_t(ports.size()));
        if (p == 0) pw.fail("\"port\" (1-based) is required");
        applyPortSpec(ports[size_t(p - 1)], o, pw);
    }
}

// A dotted quad of four decimal numbers 0..255 without leading zeros, nothing else.
bool parseDottedQuad(const std::string& text, std::array<uint8_t, 4>& ip)
{
    size_t at = 0;
    for (size_t part = 0; part < 4; ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
        const size_t start = at;
        unsigned value = 0;
        while (at < text.size() && at - start < 3 && text[at] >= '0' && text[at] <= '9')
            value = value * 10 + unsigned(text[at++] - '0');
        const size_t digits = at - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return false;
        ip[part] = uint8_t(value);
    }
    return at == text.size();
}

std::array<uint8_t, 4> parseIp(const std::string& text, const Where& w)
{
    std::array<uint8_t, 4> ip{};
    if (!parseDottedQuad(text, ip)) w.fail("bad IPv4 address \"" + text + "\"");
    return ip;
}

std::array<uint8_t, 6> parseMac(const std::string& text, const Where& w)
{
    std::array<uint8_t, 6> mac{};
    unsigned b[6];
    char tail = 0;
    if (text.size() != 17 ||
        std::sscanf(text.c_str(), "%2x%*1[-:]%2x%*1[-:]%2x%*1[-:]%2x%*1[-:]%2x%*1[-:]%2x%c", &b[0], &b[1], &b[2],
                    &b[3], &b[4], &b[5], &tail) != 6)
        w.fail("bad MAC address \"" + text + "\" (expected 00-11-22-33-44-55)");
    for (int i = 0; i < 6; ++i) mac[size_t(i)] = uint8_t(b[i]);
    return mac;
}

Version versionMember(const json& obj, const char* key, const Where& w, Version dflt)
{
    auto it = obj.find(key);
    if (it == obj.end()) return dflt;
    Version v;
    if (!it->is_string() || !parseVersion(it->get<std::string>(), v)) w.at(key).fail("expected \"A.B.C\" or \"A.B.C.D\"");
    return v;
}

bool familyFromName(const std::string& s, Family& f)
{
    for (Family x : {Family::Pcie, Family::Legacy, Family::Bb2, Family::Usb})
        if (s == familyName(x)) {
            f = x;
            return true;
        }
    return false;
}

DeviceSpec parseDevice(const json& d, const Where& w, size_t ordinal)
{
    if (!d.is_object()) w.fail("expected an object");
    DeviceSpec dev;
    dev.typeNumber = int32_t(intMember(d, "type", w, -1, 0, INT32_MAX));
    if (dev.typeNumber < 0) w.fail("\"type\" is required");
    TypeDefaults t;
    if (!typeDefaults(dev.typeNumber, t)) w.at("type").fail("unknown device type " + std::to_string(dev.typeNumber));
    if (t.family == "vde") w.at("type").fail("type " + std::to_string(dev.typeNumber) + " is Ethernet-attached: list it under service.devices");
    if (!familyFromName(t.family, dev.family)) w.fail("catalog family " + t.family);
    if (!d.contains("serial")) w.fail("\"serial\" is required");
    dev.serial = intMember(d, "serial", w, 0, 1, INT64_MAX);
    dev.subType = int32_t(intMember(d, "subType", w, t.subType, INT32_MIN, INT32_MAX));
    dev.hardwareRevision = int32_t(intMember(d, "hardwareRevision", w, 1, INT32_MIN, INT32_MAX));
    dev.firmwareVersion = int32_t(intMember(d, "firmwareVersion", w, 5, INT32_MIN, INT32_MAX));
    dev.firmwareVariant = int32_t(intMember(d, "firmwareVariant", w, 0, INT32_MIN, INT32_MAX));
    dev.firmwareStatus = int32_t(intMember(d, "firmwareStatus", w, 0, INT32_MIN, INT32_MAX));
    dev.vendorId = uint16_t(intMember(d, "vendorId", w, 0x5644, 0, 0xFFFF));
    dev.deviceId = uint16_t(intMember(d, "deviceId", w, dev.typeNumber & 0xFFFF, 0, 0xFFFF));
    dev.subVendorId = uint16_t(intMember(d, "subVendorId", w, 0x5644, 0, 0xFFFF));
    dev.subsystemId = uint16_t(intMember(d, "subsystemId", w, dev.typeNumber & 0xFFFF, 0, 0xFFFF));
    dev.pciBus = int32_t(intMember(d, "bus", w, int64_t(ordinal) + 1, 0, 255));
    dev.pciSlot = int32_t(intMember(d, "slot", w, 0, 0, 31));
    if (d.contains("infoBlock")) {
        const json& ib = d["infoBlock"];
        if (!ib.is_array() || ib.size() != 5) w.at("infoBlock").fail("expected [word, byte, byte, byte, byte]");
        dev.infoBlockWord = uint16_t(intValue(ib[0], w.at("infoBlock"), 0, 0xFFFF));
        for (size_t i = 0; i < 4; ++i) dev.infoBlockBytes[i] = uint8_t(intValue(ib[i + 1], w.at("infoBlock"), 0, 255));
    }
    if (d.contains("driverInfo")) {
        const json& di = d["driverInfo"];
        if (!di.is_array() || di.size() != 7) w.at("driverInfo").fail("expected 7 integers");
        for (size_t i = 0; i < 7; ++i) dev.driverInfo[i] = int32_t(intValue(di[i], w.at("driverInfo"), INT32_MIN, INT32_MAX));
    } else {
        dev.driverInfo = {dev.pciBus, dev.pciSlot, 0, 1, 0, 0, 7};
    }
    dev.usbProductId = uint16_t(intMember(d, "usbProductId", w, dev.typeNumber & 0xFFFF, 0, 0xFFFF));
    dev.usbVendorId = uint16_t(intMember(d, "usbVendorId", w, 0x5644, 0, 0xFFFF));
    dev.usbAddress = uint32_t(intMember(d, "usbAddress", w, int64_t(ordinal) + 2, 0, 127));
    dev.firstIndex = int(intMember(d, "index", w, -1, 0, 49));
    dev.present = boolMember(d, "present", w, true);
    dev.deviceProperties = t.deviceProperties;
    dev.ports = t.ports;
    applyPortOverrides(dev.ports, d, w);
    applyProperties(dev.deviceProperties, objectMember(d, "properties", w), w.at("properties"));
    if (d.contains("functions")) {
        if (dev.family != Family::Legacy) w.at("functions").fail("only legacy PCI cards have several functions");
        const json& f = d["functions"];
        if (!f.is_array() || f.empty() || f.size() > 8) w.at("functions").fail("expected 1 to 8 port counts");
        int sum = 0;
        for (const auto& n : f) {
            dev.functionPorts.push_back(int(intValue(n, w.at("functions"), 1, 64)));
            sum += dev.functionPorts.back();
        }
        if (size_t(sum) != dev.ports.size())
            w.at("functions").fail("port counts add up to " + std::to_string(sum) + ", the type has " +
                                   std::to_string(dev.ports.size()));
    } else if (dev.family == Family::Legacy) {
        dev.functionPorts.push_back(int(dev.ports.size()));
    }
    return dev;
}

ServiceDevice parseServiceDevice(const json& d, const Where& w)
{
    if (!d.is_object()) w.fail("expected an object");
    ServiceDevice sd;
    auto& e = sd.entry;
    e.typeNumber = int32_t(intMember(d, "type", w, -1, 0, INT32_MAX));
    if (e.typeNumber < 0) w.fail("\"type\" is required");
    TypeDefaults t;
    if (!typeDefaults(e.typeNumber, t)) w.at("type").fail("unknown device type " + std::to_string(e.typeNumber));
    if (!d.contains("serial")) w.fail("\"serial\" is required");
    e.serial = intMember(d, "serial", w, 0, 1, INT64_MAX);
    e.firmwareVersion = int32_t(intMember(d, "firmwareVersion", w, 3, INT32_MIN, INT32_MAX));
    e.firmwareVariant = int32_t(intMember(d, "firmwareVariant", w, 0, INT32_MIN, INT32_MAX));
    e.ipAddress = parseIp(stringMember(d, "ip", w, "0.0.0.0"), w.at("ip"));
    e.macAddress = parseMac(stringMember(d, "mac", w, "00-00-00-00-00-00"), w.at("mac"));
    e.opMode = int32_t(intMember(d, "opMode", w, 0, INT32_MIN, INT32_MAX));
    e.port = int32_t(intMember(d, "port", w, 8000, 0, 65535));
    sd.deviceProperties = t.deviceProperties;
    sd.ports = t.ports;
    applyPortOverrides(sd.ports, d, w);
    applyProperties(sd.deviceProperties, objectMember(d, "properties", w), w.at("properties"));
    for (const auto& [k, v] : objectMember(d, "strings", w).items()) {
        if (!v.is_string() || v.get<std::string>().size() > 95) w.at("strings").at(k).fail("expected a text of at most 95 characters");
        sd.strings[k] = v.get<std::string>();
    }
    return sd;
}

void assignIndices(std::vector<DeviceSpec>& devices, const Where& w)
{
    for (Family f : {Family::Pcie, Family::Legacy, Family::Bb2, Family::Usb}) {
        std::set<int> used;
        auto width = [](const DeviceSpec& d) { return d.family == Family::Legacy ? int(d.functionPorts.size()) : 1; };
        for (const auto& d : devices) {
            if (d.family != f || d.firstIndex < 0) continue;
            for (int i = d.firstIndex; i < d.firstIndex + width(d); ++i)
                if (i > 49 || !used.insert(i).second)
                    w.fail(std::string(familyName(f)) + " interface index " + std::to_string(i) + " used twice or above 49");
        }
        int next = 0;
        for (auto& d : devices) {
            if (d.family != f || d.firstIndex >= 0) continue;
            for (;;) {
                bool free = true;
                for (int i = next; i < next + width(d); ++i) free = free && !used.count(i);
                if (free) break;
                ++next;
            }
            if (next + width(d) > 50) w.fail(std::string("more than 50 ") + familyName(f) + " interfaces");
            d.firstIndex = next;
            for (int i = next; i < next + width(d); ++i) used.insert(i);
        }
    }
}

} // namespace

Rig parseRig(const json& doc, const std::string& origin)
{
    Where root{origin, ""};
    if (!doc.is_object()) root.fail("the rig must be a JSON object");
    Rig rig;
    const Version defaults[] = {{1, 3, 1, 0}, {4, 20, 1, 0}, {1, 0, 0, 0}, {4, 8, 0, 0}};
    const json& drivers = objectMember(doc, "drivers", root);
    for (const auto& [name, v] : drivers.items()) {
        Family f;
        if (!familyFromName(name, f)) root.at("drivers").fail("unknown driver family \"" + name + "\"");
        (void)v;
    }
    for (Family f : {Family::Pcie, Family::Legacy, Family::Bb2, Family::Usb}) {
        Where w = root.at("drivers").at(familyName(f));
        const json& d = objectMember(drivers, familyName(f), root.at("drivers"));
        DriverSpec desc;
        desc.version = versionMember(d, "version", w, defaults[int(f)]);
        std::string info = stringMember(d, "infoRequest", w, "new");
        if (info != "new" && info != "old") w.at("infoRequest").fail("expected \"new\" or \"old\"");
        desc.newInfoRequest = info == "new";
        desc.interfaces = boolMember(d, "interfaces", w, true);
        desc.names = boolMember(d, "names", w, true);
        rig.drivers[f] = desc;
    }
    std::set<int64_t> serials;
    if (doc.contains("devices")) {
        const json& list = doc["devices"];
        if (!list.is_array()) root.at("devices").fail("expected an array");
        for (size_t i = 0; i < list.size(); ++i) {
            Where w = root.at("devices[" + std::to_string(i) + "]");
            rig.devices.push_back(parseDevice(list[i], w, i));
            if (!serials.insert(rig.devices.back().serial).second) w.fail("serial used twice");
        }
    }
    assignIndices(rig.devices, root.at("devices"));
    const json& svc = objectMember(doc, "service", root);
    Where sw = root.at("service");
    rig.service.enabled = boolMember(svc, "enabled", sw, true);
    rig.service.version = versionMember(svc, "version", sw, rig.service.version);
    rig.service.mutexName = stringMember(svc, "mutexName", sw, rig.service.mutexName);
    rig.service.listName = stringMember(svc, "listName", sw, rig.service.listName);
    for (const std::string* n : {&rig.service.mutexName, &rig.service.listName})
        if (n->empty() || n->size() > 64 || n->find('/') != std::string::npos || *n == "." || *n == "..")
            sw.fail("list names have 1 to 64 characters and no '/'");
    if (rig.service.mutexName == rig.service.listName) sw.fail("mutexName and listName must differ");
    if (svc.contains("devices")) {
        const json& list = svc["devices"];
        if (!list.is_array()) sw.at("devices").fail("expected an array");
        if (list.size() > Vdapi::ServiceProtocol::kListMaxEntries) sw.at("devices").fail("at most 512 devices");
        for (size_t i = 0; i < list.size(); ++i) {
            Where w = sw.at("devices[" + std::to_string(i) + "]");
            rig.service.devices.push_back(parseServiceDevice(list[i], w));
            if (!serials.insert(rig.service.devices.back().entry.serial).second) w.fail("serial used twice");
        }
    }
    return rig;
}

std::optional<int64_t> lookupProperty(const std::map<std::string, int64_t>& deviceProperties,
                                      const std::vector<PortSpec>& ports, int32_t port, const std::string& name)
{
    if (port < 0) {
        auto it = deviceProperties.find(name);
        if (it == deviceProperties.end()) return std::nullopt;
        return it->second;
    }
    if (size_t(port) >= ports.size()) return std::nullopt;
    const PortSpec& p = ports[size_t(port)];
    if (name.rfind("CAP_", 0) == 0 && p.caps.count(name.substr(4))) return 1;
    auto it = p.properties.find(name);
    if (it == p.properties.end()) return std::nullopt;
    return it->second;
}

bool catalogTypeSpec(int32_t typeNumber, std::map<std::string, int64_t>& deviceProperties, std::vector<PortSpec>& ports)
{
    TypeDefaults t;
    if (!typeDefaults(typeNumber, t)) return false;
    deviceProperties = std::move(t.deviceProperties);
    ports = std::move(t.ports);
    return true;
}

} // namespace vdsim
