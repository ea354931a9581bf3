// The report entries built from port records: texts, key sets and types, the per-kind rules and
// the network-adapter look-up (against a network stand-in with chosen adapters).
#include "app/DeviceReport.h"

#include "devices/CapabilityTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using Halvix::ReportList;
using kel::Json;
using Vdapi::HwFunctionDescriptor;

Vdapi::VdCaps capsOf(const std::vector<std::string>& names)
{
    Vdapi::VdCaps caps;
    for (const std::string& name : names) {
        const int index = Vdapi::CapabilityIndex(name);
        EXPECT_GE(index, 0) << name;
        caps |= Vdapi::VdCaps(index);
    }
    return caps;
}

HwFunctionDescriptor record(int32_t category, int32_t type, int64_t serial, int32_t port,
                            const std::vector<std::string>& caps)
{
    HwFunctionDescriptor r;
    r.device.category = category;
    r.device.typeNumber = type;
    r.device.serial = serial;
    r.port = port;
    r.caps = capsOf(caps);
    return r;
}

std::vector<std::string> keysOf(const Json& entry)
{
    std::vector<std::string> keys;
    for (auto it = entry.begin(); it != entry.end(); ++it)
        keys.push_back(it.key());
    return keys;
}

/// Adapters by MAC; every other MAC is not found.
struct NetworkStandIn {
    std::map<std::string, Vdapi::AdapterLinkState> adapters;
    Vdapi::VdResult listResult = Vdapi::VDAPI_OK;
};

Halvix::LinkStateLookup linkStateOf(const NetworkStandIn& network)
{
    return [&network](const uint8_t (&mac)[6], Vdapi::AdapterLinkState& state) {
        state = {};
        if (network.listResult != Vdapi::VDAPI_OK)
            return network.listResult;
        const auto found = network.adapters.find(Halvix::macText(mac));
        if (found == network.adapters.end())
            return Vdapi::VDAPI_E_NOT_FOUND;
        state = found->second;
        return Vdapi::VDAPI_OK;
    };
}

TEST(DeviceReportTest, TextsOfFamiliesNamesAndAddresses)
{
    const std::vector<std::pair<int32_t, std::string>> families = {{0, "VDA"}, {1, "VDU"}, {3, "VDE"}, {4, "NIC"},
                                                                   {2, ""},    {-1, ""}};
    for (const auto& [category, name] : families)
        EXPECT_EQ(Halvix::categoryName(category), name) << category;
    EXPECT_EQ(Halvix::portDeviceName(record(0, 2144, 1, 1, {})), "VDA-2144:1");
    EXPECT_EQ(Halvix::portDeviceName(record(3, 3137, 1, 12, {})), "VDE-3137:12");
    EXPECT_EQ(Halvix::portDeviceName(record(7, 2144, 1, 1, {})), "-2144:1");

    const uint8_t macs[3][6] = {{0x00, 0x14, 0xF4, 0x0A, 0x1B, 0x2C}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {}};
    EXPECT_EQ(Halvix::macText(macs[0]), "00-14-F4-0A-1B-2C");
    EXPECT_EQ(Halvix::macText(macs[1]), "FF-FF-FF-FF-FF-FF");
    EXPECT_EQ(Halvix::macText(macs[2]), "00-00-00-00-00-00");
    const uint8_t ips[2][4] = {{192, 168, 0, 17}, {}};
    EXPECT_EQ(Halvix::ipText(ips[0]), "192.168.0.17");
    EXPECT_EQ(Halvix::ipText(ips[1]), "0.0.0.0");
}

// The report's indices must name the same capabilities as the device layer's table.
TEST(DeviceReportTest, CapabilityIndicesMatchTheDeviceLayersNames)
{
    const std::map<int, std::string> used = {
        {Halvix::ReportCap::kSws2Apsk, "SWS2APSK"}, {Halvix::ReportCap::kInput, "INPUT"},
        {Halvix::ReportCap::kOutput, "OUTPUT"},     {Halvix::ReportCap::kIpPair, "IPPAIR"},
        {Halvix::ReportCap::kMatrix, "MATRIX"},     {Halvix::ReportCap::kAsi, "ASI"},
        {Halvix::ReportCap::kDemod, "DEMOD"},       {Halvix::ReportCap::kIp, "IP"},
        {Halvix::ReportCap::kMod, "MOD"},           {Halvix::ReportCap::kSdi, "SDI"},
    };
    for (const auto& [index, name] : used)
        EXPECT_EQ(Vdapi::CapabilityName(index), name);

    const std::vector<std::string> receive = {"RX_ATSC", "RX_CMMB",  "RX_DAB",   "RX_DTMB", "RX_DVBC2", "RX_DVBS2",
                                              "RX_DVBT", "RX_DVBT2", "RX_IQ",    "RX_ISDBS", "RX_ISDBT", "RX_MH",
                                              "RX_QAMA", "RX_QAMB",  "RX_QAMC",  "RX_T2MI"};
    ASSERT_EQ(Halvix::kReceiveModulationNames.size(), receive.size());
    for (size_t i = 0; i < receive.size(); ++i)
        EXPECT_EQ(Vdapi::CapabilityName(Halvix::kReceiveModulationNames[i].capability), receive[i]);
    const std::vector<std::string> transmit = {
        "TX_ATSC", "TX_CMMB",  "TX_DAB",    "TX_DTMB", "TX_DVBC2", "TX_DVBS2", "TX_DVBS2X",
        "TX_DVBT", "TX_DVBT2", "TX_IQ",     "TX_ISDBS", "TX_ISDBT", "TX_ISDBTMM", "TX_MH",
        "TX_QAMA", "TX_QAMB",  "TX_QAMC",   "TX_T2MI", "TX_T2SPLP"};
    ASSERT_EQ(Halvix::kTransmitModulationNames.size(), transmit.size());
    for (size_t i = 0; i < transmit.size(); ++i)
        EXPECT_EQ(Vdapi::CapabilityName(Halvix::kTransmitModulationNames[i].capability), transmit[i]);
}

TEST(DeviceReportTest, AsiAndSdiEntriesSerialiseWithTheirExactKeysAndTypes)
{
    ReportList list;
    Halvix::addAsiPort(list, record(0, 2144, 2144000101, 1, {"INPUT", "ASI"}), true);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].dump(), R"({"category":"VDA","deviceName":"VDA-2144:1","input":true,"isAvailable":true,)"
                              R"("output":false,"port":1,"serial":"2144000101","type":"ASI","typeNumber":2144})");

    // Serial as signed decimal text, whatever its size.
    Halvix::addSdiPort(list, record(1, 215, -5, 3, {"OUTPUT", "SDI", "HUFFMAN", "MATRIX"}), false);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].dump(),
              R"({"category":"VDU","deviceName":"VDU-215:3","huffmanCapability":false,"input":false,)"
              R"("isAvailable":false,"matrixCapability":true,"output":true,"port":3,"serial":"-5","type":"SDI",)"
              R"("typeNumber":215})");
}

TEST(DeviceReportTest, RfEntriesListModulationsAndOnlyReceiveHasApsk)
{
    ReportList list;
    // Table order, not insertion order; capabilities without a report name give none.
    Halvix::addRfReceivePort(list, record(0, 2139, 7, 1, {"DEMOD", "RX_T2MI", "RX_IQ", "RX_ATSC", "RX_DVBS", "SWS2APSK"}),
                             true);
    Halvix::addRfTransmitPort(list, record(0, 2115, 8, 1, {"MOD", "TX_T2SPLP", "TX_QAMA", "TX_DVBS", "TX_DRM"}), false);
    Halvix::addRfReceivePort(list, record(0, 2139, 7, 2, {"DEMOD"}), true);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(keysOf(list[0]), (std::vector<std::string>{"apskCapability", "category", "deviceName", "input",
                                                         "isAvailable", "modulations", "output", "port", "serial",
                                                         "type", "typeNumber"}));
    EXPECT_EQ(list[0]["modulations"], Json::parse(R"(["atsc","iq","t2mi"])"));
    EXPECT_EQ(list[0]["apskCapability"], true);
    EXPECT_EQ(list[0]["input"], true);
    EXPECT_EQ(list[0]["output"], false);
    EXPECT_EQ(keysOf(list[1]), (std::vector<std::string>{"category", "deviceName", "input", "isAvailable",
                                                         "modulations", "output", "port", "serial", "type",
                                                         "typeNumber"}));
    EXPECT_EQ(list[1]["modulations"], Json::parse(R"(["dvbc","dvbt2splp"])"));
    EXPECT_EQ(list[1]["input"], false);
    EXPECT_EQ(list[1]["output"], true);
    EXPECT_EQ(list[2]["modulations"].dump(), "[]");
    EXPECT_EQ(list[2]["apskCapability"], false);

    // Port 1 of a 2132 receives no IQ; its other ports do (and so does port 1 of the 2139 above).
    const std::vector<std::string> caps = {"DEMOD", "RX_DVBT", "RX_IQ", "RX_QAMB"};
    Halvix::addRfReceivePort(list, record(0, 2132, 1, 1, caps), true);
    Halvix::addRfReceivePort(list, record(0, 2132, 1, 2, caps), true);
    EXPECT_EQ(list[3]["modulations"], Json::parse(R"(["dvbt","qamb"])"));
    EXPECT_EQ(list[4]["modulations"], Json::parse(R"(["dvbt","iq","qamb"])"));
}

TEST(DeviceReportTest, IpEntriesOfCardsKeepNumericSpeedsAndThePseudoAdapterGetsNone)
{
    NetworkStandIn network;
    ReportList list;
    HwFunctionDescriptor card = record(0, 2160, 2160000808, 2, {"IP", "IPPAIR"});
    const uint8_t cardMac[6] = {0x02, 0x56, 0x44, 0x00, 0x0a, 0x21};
    std::memcpy(card.device.macAddress, cardMac, 6);
    const uint8_t portMac[6] = {1, 2, 3, 4, 5, 6};
    std::memcpy(card.macAddress, portMac, 6); // the port's own address is not what is reported
    const uint8_t cardIp[4] = {10, 0, 0, 7};
    std::memcpy(card.device.ipAddress, cardIp, 4);
    Halvix::addIpPort(list, card, true, linkStateOf(network));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].dump(),
              R"({"category":"VDA","deviceName":"VDA-2160:2","input":true,"ipAddress":"10.0.0.7","isAvailable":true,)"
              R"("macAddress":"02-56-44-00-0A-21","output":true,"port":2,"receiveSpeed":0,)"
              R"("redundantTxCapability":true,"serial":"2160000808","transmissionSpeed":0,"type":"IP",)"
              R"("typeNumber":2160})");

    HwFunctionDescriptor pseudo = record(4, 840, 1, 1, {"IP"});
    std::memset(pseudo.device.macAddress, 0xFF, 6);
    Halvix::addIpPort(list, pseudo, true, linkStateOf(network));
    EXPECT_EQ(list.size(), 1u);
    // Either address alone does not make the pseudo-adapter.
    pseudo.device.ipAddress[3] = 1;
    Halvix::addIpPort(list, pseudo, true, linkStateOf(network));
    EXPECT_EQ(list.size(), 2u);
}

TEST(DeviceReportTest, NetworkAdapterEntriesTakeNameStateAndSpeedsFromTheAdapter)
{
    NetworkStandIn network;
    network.adapters["00-1B-21-0A-0B-0C"] = {true, 1000000000, 1000000000};
    network.adapters["00-1B-21-0A-0B-0D"] = {false, 10000000000ull, 25000000000ull};
    const auto nic = [](uint8_t last, uint8_t ipLast) {
        HwFunctionDescriptor r = record(4, 840, 840000001, 1, {"IP"});
        const uint8_t mac[6] = {0x00, 0x1B, 0x21, 0x0A, 0x0B, last};
        std::memcpy(r.device.macAddress, mac, 6);
        const uint8_t ip[4] = {198, 51, 100, ipLast};
        std::memcpy(r.device.ipAddress, ip, 4);
        return r;
    };
    ReportList list;
    // The adapter's state decides, not the probe's answer.
    Halvix::addIpPort(list, nic(0x0C, 5), false, linkStateOf(network));
    Halvix::addIpPort(list, nic(0x0D, 6), true, linkStateOf(network));
    Halvix::addIpPort(list, nic(0x0E, 7), true, linkStateOf(network));
    network.listResult = Vdapi::VDAPI_E_NW_DRIVER;
    Halvix::addIpPort(list, nic(0x0C, 5), true, linkStateOf(network));
    ASSERT_EQ(list.size(), 4u);

    // Name, family, state and speeds (as decimal text) of each entry.
    std::vector<std::string> seen;
    for (const Json& entry : list)
        seen.push_back(entry["deviceName"].get<std::string>() + " " + entry["category"].get<std::string>() +
                       (entry["isAvailable"] == true ? " free " : " busy ") + entry["transmissionSpeed"].get<std::string>() +
                       " " + entry["receiveSpeed"].get<std::string>());
    EXPECT_EQ(seen, (std::vector<std::string>{"198.51.100.5 NIC free 1000000000 1000000000",
                                              "198.51.100.6 NIC busy 10000000000 25000000000",
                                              "198.51.100.7 NIC busy 0 0", "198.51.100.5 NIC busy 0 0"}));
    EXPECT_EQ(keysOf(list[0]), keysOf(list[2]));
}

TEST(DeviceReportTest, FourKGroupsNeedEveryRecordAndProbeEachOnce)
{
    Vdapi::DeviceDescriptor device;
    device.typeNumber = 2179;
    device.serial = 2179000202;
    Halvix::PortGroup group{};
    for (int i = 0; i < 4; ++i) {
        group[size_t(i)] = record(0, 2179, device.serial, 5 + i, {"INPUT", "OUTPUT", "MATRIX", "SDI"});
        group[size_t(i)].device.category = 9; // the group's own device record names the family
    }
    std::vector<int> probed;
    bool freeAll = true;
    const Halvix::PortProbe probe = [&](const HwFunctionDescriptor& r) {
        probed.push_back(r.port);
        return r.device.serial != 0 && (freeAll || r.port != 6); // as the probe: no device, not free
    };

    ReportList list;
    Halvix::add4kGroup(list, device, group, probe);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].dump(),
              R"({"category":"VDA","deviceName":"VDA-2179:5-8","input":true,"isAvailable":true,)"
              R"("matrixCapability":true,"numPorts":4,"output":true,"port":5,"serial":"2179000202","type":"4K",)"
              R"("typeNumber":2179})");
    EXPECT_EQ(probed, (std::vector<int>{5, 6, 7, 8}));

    // One busy record makes the group busy; every record is still probed. One record without
    // OUTPUT or MATRIX takes those away from the group.
    freeAll = false;
    probed.clear();
    group[2].caps = capsOf({"INPUT", "SDI"});
    Halvix::add4kGroup(list, device, group, probe);
    EXPECT_EQ(probed, (std::vector<int>{5, 6, 7, 8}));
    EXPECT_EQ(list[1]["input"], true);
    for (const char* key : {"isAvailable", "output", "matrixCapability"})
        EXPECT_EQ(list[1][key], false) << key;

    // Three records found: the empty fourth slot names the group "...-0" and fails every test.
    freeAll = true;
    group[2] = group[3];
    group[3] = HwFunctionDescriptor{};
    Halvix::add4kGroup(list, device, group, probe);
    EXPECT_EQ(list[2]["deviceName"], "VDA-2179:5-0");
    EXPECT_EQ(list[2]["port"], 5);
    for (const char* key : {"isAvailable", "input", "output", "matrixCapability"})
        EXPECT_EQ(list[2][key], false) << key;
}

} // namespace
