// Builders of the device report's entries and the texts they carry.
#include "app/DeviceReport.h"


#include <cstdio>

namespace Halvix {

const std::vector<ModulationName> kReceiveModulationNames = {
    {190, "atsc"},  {193, "cmmb"},  {194, "dab"},   {195, "dtmb"},   {196, "dvbc2"}, {199, "dvbs2"},
    {201, "dvbt"},  {202, "dvbt2"}, {204, "iq"},    {205, "isdbs"},  {206, "isdbt"}, {208, "atscmh"},
    {209, "dvbc"},  {210, "qamb"},  {211, "qamc"},  {212, "t2mi"},
};

const std::vector<ModulationName> kTransmitModulationNames = {
    {149, "atsc"},  {151, "cmmb"},  {152, "dab"},    {154, "dtmb"},    {155, "dvbc2"}, {157, "dvbs2"},
    {158, "dvbs2x"}, {159, "dvbt"}, {160, "dvbt2"},  {163, "iq"},      {164, "isdbs"}, {166, "isdbt"},
    {167, "isdbtmm"}, {168, "atscmh"}, {169, "dvbc"}, {170, "qamb"},   {171, "qamc"},  {173, "t2mi"},
    {174, "dvbt2splp"},
};

namespace {

constexpr int32_t kReportTypeRf2132 = 2132; // its port 1 receives no I/Q although it says so
constexpr int32_t kPortsPer4kGroup = 4;

kel::Json reportModulationList(const Vdapi::VdCaps& caps, const std::vector<ModulationName>& table)
{
    kel::Json names = kel::Json::array();
    for (const ModulationName& row : table) {
        if ((caps & Vdapi::VdCaps(row.capability)).NonEmpty())
            names.push_back(row.name);
    }
    return names;
}

/// The keys every per-port entry carries.
kel::Json reportPortEntry(const Vdapi::HwFunctionDescriptor& record, const char* type, bool available, bool input,
                    bool output)
{
    return kel::Json{
        {"category", categoryName(record.device.category)},
        {"typeNumber", record.device.typeNumber},
        {"port", record.port},
        {"serial", std::to_string(record.device.serial)},
        {"deviceName", portDeviceName(record)},
        {"type", type},
        {"isAvailable", available},
        {"input", input},
        {"output", output},
    };
}

} // namespace

bool portHas(const Vdapi::HwFunctionDescriptor& record, int capability)
{
    return (record.caps & Vdapi::VdCaps(capability)).NonEmpty();
}

std::string categoryName(int32_t category)
{
    switch (category) {
    case Vdapi::kCategoryPci:
        return "VDA";
    case Vdapi::kCategoryUsb:
        return "VDU";
    case Vdapi::kCategoryVde:
        return "VDE";
    case Vdapi::kCategoryNic:
        return "NIC";
    default:
        return "";
    }
}

std::string portDeviceName(const Vdapi::HwFunctionDescriptor& record)
{
    return categoryName(record.device.category) + "-" + std::to_string(record.device.typeNumber) + ":" +
           std::to_string(record.port);
}

std::string macText(const uint8_t (&mac)[6])
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::string ipText(const uint8_t (&ip)[4])
{
    return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
           std::to_string(ip[3]);
}

kel::Json receiveModulations(const Vdapi::VdCaps& caps)
{
    return reportModulationList(caps, kReceiveModulationNames);
}

kel::Json transmitModulations(const Vdapi::VdCaps& caps)
{
    return reportModulationList(caps, kTransmitModulationNames);
}

void addAsiPort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available)
{
    list.push_back(reportPortEntry(record, "ASI", available, portHas(record, ReportCap::kInput),
                             portHas(record, ReportCap::kOutput)));
}

void addIpPort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available,
               const LinkStateLookup& linkState)
{
    const std::string mac = macText(record.device.macAddress);
    const std::string ip = ipText(record.device.ipAddress);
    if (ip == "0.0.0.0" && mac == "FF-FF-FF-FF-FF-FF")
        return;
    kel::Json entry = reportPortEntry(record, "IP", available, true, true);
    entry["macAddress"] = mac;
    entry["ipAddress"] = ip;
    entry["redundantTxCapability"] = portHas(record, ReportCap::kIpPair);
    entry["transmissionSpeed"] = 0;
    entry["receiveSpeed"] = 0;
    if (record.device.category == Vdapi::kCategoryNic) {
        // The adapter's own state decides: a network adapter is free when its link is up.
        Vdapi::AdapterLinkState state;
        const bool found = linkState(record.device.macAddress, state) == Vdapi::VDAPI_OK;
        entry["deviceName"] = ip;
        entry["isAvailable"] = found && state.up;
        entry["transmissionSpeed"] = std::to_string(found ? state.transmitBps : 0);
        entry["receiveSpeed"] = std::to_string(found ? state.receiveBps : 0);
    }
    list.push_back(std::move(entry));
}

void addRfReceivePort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available)
{
    kel::Json modulations = receiveModulations(record.caps);
    if (record.device.typeNumber == kReportTypeRf2132 && record.port == 1) {
        kel::Json kept = kel::Json::array();
        for (const kel::Json& name : modulations) {
            if (name != "iq")
                kept.push_back(name);
        }
        modulations = std::move(kept);
    }
    kel::Json entry = reportPortEntry(record, "RF", available, true, false);
    entry["modulations"] = std::move(modulations);
    entry["apskCapability"] = portHas(record, ReportCap::kSws2Apsk);
    list.push_back(std::move(entry));
}

void addRfTransmitPort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available)
{
    kel::Json entry = reportPortEntry(record, "RF", available, false, true);
    entry["modulations"] = transmitModulations(record.caps);
    list.push_back(std::move(entry));
}

void addSdiPort(ReportList& list, const Vdapi::HwFunctionDescriptor& record, bool available)
{
    kel::Json entry = reportPortEntry(record, "SDI", available, portHas(record, ReportCap::kInput),
                                portHas(record, ReportCap::kOutput));
    entry["huffmanCapability"] = false;
    entry["matrixCapability"] = portHas(record, ReportCap::kMatrix);
    list.push_back(std::move(entry));
}

void add4kGroup(ReportList& list, const Vdapi::DeviceDescriptor& device, const PortGroup& group,
                const PortProbe& probe)
{
    bool available = true, input = true, output = true, matrix = true;
    for (const Vdapi::HwFunctionDescriptor& record : group) {
        // Every record is probed, even once one has failed: each probe is a real attach attempt.
        available = probe(record) && available;
        input = input && portHas(record, ReportCap::kInput);
        output = output && portHas(record, ReportCap::kOutput);
        matrix = matrix && portHas(record, ReportCap::kMatrix);
    }
    Vdapi::HwFunctionDescriptor first = group.front();
    first.device = device;
    list.push_back(kel::Json{
        {"category", categoryName(device.category)},
        {"typeNumber", device.typeNumber},
        {"port", group.front().port},
        {"serial", std::to_string(device.serial)},
        {"numPorts", kPortsPer4kGroup},
        {"deviceName", portDeviceName(first) + "-" + std::to_string(group.back().port)},
        {"type", "4K"},
        {"isAvailable", available},
        {"input", input},
        {"output", output},
        {"matrixCapability", matrix},
    });
}

} // namespace Halvix
