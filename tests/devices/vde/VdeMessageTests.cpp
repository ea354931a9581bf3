// Ethernet-device message handling without a network: result translation, discovery texts,
// probe-match and device-answer parsing, duplicate removal.
#include "devices/vde/VdDeviceRpc.h"
#include "devices/vde/VdeDiscovery.h"
#include "devices/vde/VdeEnum.h"
#include "devices/vde/VdeHal.h"
#include "tests/support/FieldRows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Vdapi;
using ServiceProtocol::VdeListEntry;

TEST(VdeResultTranslation, KeepsTheListedCodesAndMapsTheRest)
{
    for (uint64_t kept : {0ull, 1ull, 4096ull, 4097ull, 4105ull, 4107ull, 4125ull, 4127ull, 4129ull, 4179ull, 4181ull,
                          4184ull, 4191ull, 4213ull, 4219ull, 4224ull, 4238ull, 4277ull})
        EXPECT_EQ(TranslateDeviceResult(kept), VdResult(kept)) << kept;
    EXPECT_EQ(TranslateDeviceResult(4128), VDAPI_E_INVALID_ROLLOFF);
    for (uint64_t internal : {2ull, 5ull, 4095ull, 4106ull, 4126ull, 4180ull, 4185ull, 4190ull, 4192ull, 4212ull,
                              4258ull, 4276ull, 4278ull, 0x100000000ull + 4097, ~0ull})
        EXPECT_EQ(TranslateDeviceResult(internal), VDAPI_E_INTERNAL) << internal;
}

TEST(VdeDiscoveryText, MessageIdAndXAddrsPattern)
{
    EXPECT_EQ(VdeDiscovery::MessageId(0x12345678, 0xABCD1234, 208), "12345678-1234-abcdd0");
    EXPECT_EQ(VdeDiscovery::MessageId(0x1, 0x2, 209), "00000001-0002-0000d1");

    std::array<uint8_t, 4> ip{};
    int32_t port = -1;
    EXPECT_TRUE(VdeDiscovery::ParseXAddrs("http://198.51.100.21:8000", ip, port));
    EXPECT_EQ(ip, (std::array<uint8_t, 4>{198, 51, 100, 21}));
    EXPECT_EQ(port, 8000);
    for (const char* bad : {"https://198.51.100.21:8000", "http://198.51.100:8000", "http://198.51.100.21",
                            "http://256.1.1.1:80", "http://1.2.3.4:70000", "", "urn:uuid:1"}) {
        ip = {9, 9, 9, 9};
        port = 7;
        EXPECT_FALSE(VdeDiscovery::ParseXAddrs(bad, ip, port)) << bad;
        EXPECT_EQ(ip, (std::array<uint8_t, 4>{0, 0, 0, 0})) << bad;
        EXPECT_EQ(port, 0) << bad;
    }
    EXPECT_FALSE(VdeDiscovery::ParseXAddrs(nullptr, ip, port));
}

std::string ProbeMatchesEnvelope(const std::string& matches)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:Vdapi=\"http://vdapi.example/ws/v1/vdapi\">"
           "<SOAP-ENV:Header><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action>"
           "</SOAP-ENV:Header><SOAP-ENV:Body><wsd:ProbeMatches>" +
           matches + "</wsd:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string Match(const std::string& xaddrs, long long serial, long long mac, int opMode)
{
    return "<wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:x</wsa:Address></wsa:EndpointReference>"
           "<wsd:Types>Vdapi:VDE</wsd:Types><wsd:XAddrs>" + xaddrs + "</wsd:XAddrs>"
           "<wsd:MetadataVersion>1</wsd:MetadataVersion><Vdapi:DeviceInfoShort>"
           "<Serial>" + std::to_string(serial) + "</Serial><TypeNumber>3137</TypeNumber>"
           "<FirmwareVersion>3</FirmwareVersion><FirmwareVariant>2</FirmwareVariant><Ip>99</Ip>"
           "<Mac>" + std::to_string(mac) + "</Mac><OpMode>" + std::to_string(opMode) + "</OpMode><Port>1</Port>"
           "</Vdapi:DeviceInfoShort></wsd:ProbeMatch>";
}

std::vector<VdeListEntry> Parse(const std::string& text, size_t room, int& rc)
{
    std::vector<VdeListEntry> out;
    rc = VdeDiscovery::ParseProbeMatches(reinterpret_cast<const uint8_t*>(text.data()), text.size(), room, out);
    return out;
}

TEST(VdeProbeMatches, FieldsRoomAndBrokenMessages)
{
    int rc = -1;
    std::vector<VdeListEntry> entries =
        Parse(ProbeMatchesEnvelope(Match("http://198.51.100.21:8000", 3137000042, 0x7F0256440000A1LL, 1)), 8, rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(entries.size(), 1u);
    const VdeListEntry& e = entries[0];
    test::ExpectFields("match", {{"serial", e.serial, 3137000042}, {"type", e.typeNumber, 3137},
                                 {"firmware", e.firmwareVersion, 3}, {"variant", e.firmwareVariant, 2},
                                 {"mode", e.opMode, 1}});
    EXPECT_EQ(e.ipAddress, (std::array<uint8_t, 4>{198, 51, 100, 21})) << "the address comes from XAddrs, not Ip";
    EXPECT_EQ(e.port, 8000) << "the port comes from XAddrs, not Port";
    EXPECT_EQ(e.macAddress, (std::array<uint8_t, 6>{0x02, 0x56, 0x44, 0x00, 0x00, 0xA1})) << "low 48 bits, MSB first";

    // Three matches in one message, room for two.
    const std::string three = Match("http://10.0.0.1:8000", 1, 1, 0) + Match("http://10.0.0.2:8000", 2, 2, 0) +
                              Match("http://10.0.0.3:8000", 3, 3, 0);
    entries = Parse(ProbeMatchesEnvelope(three), 2, rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].serial, 2);

    // An XAddrs that is not "http://IPv4:port" keeps its device, without address and port, and
    // takes nothing from the match after it.
    const std::string oddFirst = Match("ftp://198.51.100.21/8000", 1, 1, 0) + Match("http://10.0.0.2:8000", 2, 2, 0);
    entries = Parse(ProbeMatchesEnvelope(oddFirst), 8, rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].ipAddress, (std::array<uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(entries[0].port, 0);
    EXPECT_EQ(entries[1].ipAddress, (std::array<uint8_t, 4>{10, 0, 0, 2}));
    EXPECT_EQ(entries[1].port, 8000);

    // Broken or foreign messages give an error and no entry.
    const std::string good = ProbeMatchesEnvelope(Match("http://10.0.0.1:8000", 1, 1, 0));
    for (const std::string& bad : {good.substr(0, good.size() / 2), std::string("not xml at all"), std::string(),
                                   std::string("<?xml version=\"1.0\"?><a><b></a>")}) {
        entries = Parse(bad, 8, rc);
        EXPECT_NE(rc, 0) << bad;
        EXPECT_TRUE(entries.empty()) << bad;
    }
}

TEST(VdeDeviceAnswer, DescriptorArraysMustHaveTheirLengths)
{
    auto answer = [](const std::string& ip, const std::string& mac) {
        return "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
               "xmlns:VdDev=\"http://vdapi.example/ws/v1/vdapi/VdDevice\"><SOAP-ENV:Body><VdDev:GetDescriptorResponse>"
               "<VdapiResult>4128</VdapiResult><VdeDeviceInfo><m-Serial>3124000043</m-Serial>"
               "<m-TypeNumber>3124</m-TypeNumber><m-FirmwareVersion>2</m-FirmwareVersion>"
               "<m-FirmwareVariant>0</m-FirmwareVariant>" + ip + mac +
               "<m-OpMode>0</m-OpMode><m-Port>8000</m-Port></VdeDeviceInfo></VdDev:GetDescriptorResponse>"
               "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
    };
    const std::string ip4 = "<m-Ip>198</m-Ip><m-Ip>51</m-Ip><m-Ip>100</m-Ip><m-Ip>22</m-Ip>";
    std::string mac6;
    for (int b : {2, 86, 68, 0, 0, 34})
        mac6 += "<m-Mac>" + std::to_string(b) + "</m-Mac>";
    auto parse = [](const std::string& text, uint64_t& result, VdeListEntry& info) {
        return VdDeviceRpc::ParseGetDescriptorAnswer(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                                     result, info);
    };
    uint64_t result = 0;
    VdeListEntry info;
    ASSERT_EQ(parse(answer(ip4, mac6), result, info), 0);
    EXPECT_EQ(result, 4128u);
    EXPECT_EQ(info.serial, 3124000043);
    EXPECT_EQ(info.ipAddress, (std::array<uint8_t, 4>{198, 51, 100, 22}));
    EXPECT_EQ(info.macAddress, (std::array<uint8_t, 6>{2, 86, 68, 0, 0, 34}));
    EXPECT_EQ(info.port, 8000);

    EXPECT_NE(parse(answer(ip4 + "<m-Ip>1</m-Ip>", mac6), result, info), 0) << "five address bytes";
    EXPECT_NE(parse(answer("<m-Ip>1</m-Ip>", mac6), result, info), 0) << "one address byte";
    EXPECT_NE(parse(answer(ip4, ""), result, info), 0) << "no MAC address";
    EXPECT_NE(parse(answer(ip4, mac6).substr(0, 200), result, info), 0) << "cut short";
}

TEST(VdeEnumDuplicates, LaterCopiesGoAndEveryPairIsCompared)
{
    auto entry = [](uint8_t ip, uint8_t mac, int64_t serial) {
        VdeListEntry e;
        e.ipAddress = {10, 0, 0, ip};
        e.macAddress = {2, 0, 0, 0, 0, mac};
        e.serial = serial;
        return e;
    };
    // Three copies in a row, a device with the same address but another MAC, and a late copy.
    std::vector<VdeListEntry> list = {entry(1, 1, 1), entry(1, 1, 2), entry(1, 1, 3), entry(2, 2, 4),
                                      entry(1, 9, 5), entry(2, 2, 6), entry(1, 1, 7)};
    const int32_t n = VdeEnum::RemoveDuplicates(list.data(), int32_t(list.size()));
    ASSERT_EQ(n, 3);
    EXPECT_EQ(list[0].serial, 1) << "the first occurrence stays";
    EXPECT_EQ(list[1].serial, 4);
    EXPECT_EQ(list[2].serial, 5);
    EXPECT_EQ(VdeEnum::RemoveDuplicates(list.data(), 0), 0);
}

} // namespace
