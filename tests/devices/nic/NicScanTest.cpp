// Network-adapter family against adapters made for the purpose in a private network namespace:
// which adapters become devices, their identity, the pseudo-adapter, every scan mode, the
// platform's adapter queries below them, and the fixed property table.
#include "tests/support/PrivateNetwork.h"
#include "tests/devices/platform/TestRunDir.h"

#include "devices/CapabilityTable.h"
#include "devices/FamilyScan.h"
#include "devices/Scan.h"
#include "devices/VdDevice.h"
#include "devices/nic/NicDevice.h"
#include "devices/platform/Xp.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace Vdapi {
namespace {

using TestSupport::RunQuiet;

constexpr uint64_t kAnyLocalSerial = 0x406A633BEDFFFFFFull;
const uint8_t kMacFirst[6] = {0x02, 0x00, 0x5E, 0x10, 0x00, 0x01};
const uint8_t kMacSecond[6] = {0x02, 0x00, 0x5E, 0x10, 0x00, 0x02};
const uint8_t kMacBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

/// Serial of an adapter worked out here by hand: MAC as big-endian number, plus bit 62, XOR the
/// djb2 name hash shifted by 24.
uint64_t ExpectedSerial(const uint8_t (&mac)[6], const char* name)
{
    uint64_t m = 0;
    for (uint8_t octet : mac)
        m = m * 256 + octet;
    uint32_t hash = 5381;
    for (const char* c = name; *c; ++c)
        hash = hash * 33 + uint32_t(int32_t(static_cast<signed char>(*c)));
    return (m | 0x4000000000000000ull) ^ (uint64_t(hash) << 24);
}

std::string MacText(const uint8_t* mac, char separator = '-')
{
    std::string text;
    for (int i = 0; i < 6; ++i) {
        char octet[3];
        std::snprintf(octet, sizeof octet, "%02X", mac[i]);
        if (i > 0)
            text += separator;
        text += octet;
    }
    return text;
}

std::vector<DeviceDescriptor> ScanNics(int32_t capacity, int32_t& count, VdResult& rc)
{
    std::vector<DeviceDescriptor> devices(size_t(std::max(capacity, 1)));
    rc = ScanDevices(ScanMode::All, 0, capacity, count, capacity > 0 ? devices.data() : nullptr, nullptr,
                     nullptr, 0, 0, 0, 0, 0, nullptr, false, false, true, false);
    return devices;
}

bool MakeOwnPrefixPair()
{
    return RunQuiet(
        "ip link add own0 address 00:14:F4:00:00:07 type veth peer name own1 address 00:14:F4:00:00:08");
}

/// Two veth pairs, four adapters with 6-byte MACs: own1 and own0 with our own vendor prefix,
/// then nic0 (IPv4 and four IPv6 addresses) and nic1 (no IPv4, no IPv6). The peer of a pair is
/// made first, so it gets the lower interface index. Loopback has no 6-byte MAC to offer.
bool MakeAdapters()
{
    return RunQuiet("ip link set lo up") && MakeOwnPrefixPair() &&
           RunQuiet("ip link add nic1 address " + MacText(kMacSecond, ':') +
                    " type veth peer name nic0 address " + MacText(kMacFirst, ':')) &&
           ::if_nametoindex("nic0") < ::if_nametoindex("nic1") &&
           RunQuiet("ip link set nic0 addrgenmode none") && RunQuiet("ip link set nic1 addrgenmode none") &&
           RunQuiet("ip addr add 198.51.100.7/24 dev nic0") &&
           RunQuiet("ip addr add 198.51.100.9/24 dev own0") &&
           RunQuiet("ip -6 addr add 2001:db8::1/64 dev nic0 nodad") &&
           RunQuiet("ip -6 addr add 2001:db8::2/64 dev nic0 nodad") &&
           RunQuiet("ip -6 addr add 2001:db8::3/64 dev nic0 nodad") &&
           RunQuiet("ip -6 addr add 2001:db8::4/64 dev nic0 nodad") && RunQuiet("ip link set own0 up") &&
           RunQuiet("ip link set own1 up") && RunQuiet("ip link set nic0 up") &&
           RunQuiet("ip link set nic1 up");
}

void CheckListing()
{
    int32_t count = 0;
    VdResult rc = 0;
    std::vector<DeviceDescriptor> d = ScanNics(8, count, rc);
    EXPECT_TRUE(rc == VDAPI_OK) << std::string("listing: ") + ResultName(rc);
    EXPECT_TRUE(count == 3) << "two adapters give three devices, got " + std::to_string(count);
    if (count != 3)
        return;
    for (const DeviceDescriptor& dev : std::vector<DeviceDescriptor>(d.begin(), d.begin() + 3)) {
        EXPECT_TRUE(dev.category == kCategoryNic && dev.typeNumber == kNicTypeNumber) << "category 4, type 840";
        EXPECT_TRUE(dev.numHwFuncs == 1 && dev.numPorts == 1) << "one port";
        EXPECT_TRUE(dev.numInputs == 1 && dev.numOutputs == 1) << "the IP port counts both ways";
        EXPECT_TRUE(std::memcmp(dev.macAddress, "\x00\x14\xF4", 3) != 0) << "own vendor prefix offered";
    }
    in_addr first{};
    ::inet_pton(AF_INET, "198.51.100.7", &first);
    EXPECT_TRUE(std::memcmp(d[0].macAddress, kMacFirst, 6) == 0) << "first adapter first: " + MacText(d[0].macAddress);
    EXPECT_TRUE(d[0].serial == int64_t(ExpectedSerial(kMacFirst, "nic0"))) << "serial of nic0";
    EXPECT_TRUE(d[0].subType == 0) << "a real adapter has sub-type 0";
    EXPECT_TRUE(std::memcmp(d[0].ipAddress, &first, 4) == 0) << "IPv4 of nic0";
    const std::set<std::string> assigned = {"2001:db8::1", "2001:db8::2", "2001:db8::3", "2001:db8::4"};
    std::set<std::string> listed;
    char text[INET6_ADDRSTRLEN];
    for (const auto& v6 : d[0].ipV6Address)
        listed.insert(::inet_ntop(AF_INET6, v6, text, sizeof text));
    EXPECT_TRUE(listed.size() == 3 && std::includes(assigned.begin(), assigned.end(), listed.begin(), listed.end()))
        << "three distinct IPv6 addresses of the four of nic0";
    // The platform's query by MAC below the listing gives the same addresses, kind by kind.
    uint8_t address[16];
    for (int kind = 0; kind < 4; ++kind) {
        const uint8_t* listed = kind == 0 ? d[0].ipAddress : d[0].ipV6Address[kind - 1];
        EXPECT_TRUE(Xp::Network().GetAdapterAddress(kMacFirst, AdapterAddressKind(kind), address) == VDAPI_OK &&
                    std::memcmp(address, listed, kind == 0 ? 4 : 16) == 0)
            << "address of kind " + std::to_string(kind) + " of nic0 by MAC";
    }
    EXPECT_TRUE(Xp::Network().GetAdapterAddress(kMacFirst, AdapterAddressKind(4), address) == VDAPI_E_INVALID_ARG)
        << "no address kind 4";

    const uint8_t zero[16] = {};
    EXPECT_TRUE(std::memcmp(d[1].macAddress, kMacSecond, 6) == 0) << "second adapter second";
    EXPECT_TRUE(d[1].serial == int64_t(ExpectedSerial(kMacSecond, "nic1"))) << "serial of nic1";
    EXPECT_TRUE(std::memcmp(d[1].ipAddress, zero, 4) == 0) << "no IPv4 gives 0.0.0.0";
    EXPECT_TRUE(std::memcmp(d[1].ipV6Address, zero, 16) == 0) << "no IPv6 gives zeros";

    EXPECT_TRUE(uint64_t(d[2].serial) == kAnyLocalSerial) << "pseudo-adapter last with its serial";
    EXPECT_TRUE(d[2].subType == kNicSubTypeAnyLocal) << "pseudo-adapter sub-type 2";
    EXPECT_TRUE(std::memcmp(d[2].macAddress, kMacBroadcast, 6) == 0) << "pseudo-adapter MAC";
    EXPECT_TRUE(std::memcmp(d[2].ipAddress, zero, 4) == 0) << "pseudo-adapter has no address";

    // Capacity 1: one descriptor written, all three counted.
    d = ScanNics(1, count, rc);
    EXPECT_TRUE(rc == VDAPI_E_BUF_TOO_SMALL && count == 3) << "capacity 1 gives count 3 and VDAPI_E_BUF_TOO_SMALL";
    EXPECT_TRUE(std::memcmp(d[0].macAddress, kMacFirst, 6) == 0) << "capacity 1 holds the first adapter";
    ScanNics(0, count, rc);
    EXPECT_TRUE(rc == VDAPI_E_BUF_TOO_SMALL && count == 3) << "capacity 0 learns the count";

    // The interface index of the pseudo-adapter follows the last listed adapter.
    NicHal hal;
    NicInfo info;
    EXPECT_TRUE(hal.Open(2) == VDAPI_OK && hal.GetNicInfo(info) == VDAPI_OK) << "open the pseudo-adapter";
    EXPECT_TRUE(info.interfaceIndex == ::if_nametoindex("nic1") + 1) << "pseudo-adapter interface index";
    EXPECT_TRUE(hal.Open(3) == VDAPI_E_NO_SUCH_DEVICE) << "no fourth usable adapter";
    hal.Close();
    EXPECT_TRUE(hal.GetNicInfo(info) == VDAPI_OK && info.serial == 0 && info.typeNumber == 0) << "closed is zero";
}

/// The platform's queries by MAC on the same adapters, below the scans: names (none without room
/// for the NUL), a cut list, and an adapter that goes down giving no address (an unknown MAC:
/// XpNetwork.ListsThisMachinesAdaptersByTheTwoCallRule).
void CheckAdapterQueries()
{
    IXpNetwork& network = Xp::Network();
    char name[5];
    EXPECT_TRUE(network.GetAdapterName(kMacFirst, name, 5) == VDAPI_OK && std::string(name) == "nic0") << "nic0's name";
    EXPECT_TRUE(network.GetAdapterName(kMacSecond, name, 4) == VDAPI_E_BUF_TOO_SMALL && name[0] == '\0')
        << "a name without room for its NUL";
    NetAdapterInfo first;
    int count = 0;
    EXPECT_TRUE(network.GetAdapters(1, count, &first) == VDAPI_E_BUF_TOO_SMALL && count == 1) << "cut list";
    uint8_t address[16];
    EXPECT_TRUE(network.GetAdapterAddress(kMacSecond, AdapterAddressKind::Ipv4, address) == VDAPI_E_NOT_FOUND)
        << "nic1 has no IPv4 to give";
    EXPECT_TRUE(RunQuiet("ip link set nic0 down")) << "set nic0 down";
    EXPECT_TRUE(network.GetAdapterAddress(kMacFirst, AdapterAddressKind::Ipv4, address) == VDAPI_E_NOT_FOUND)
        << "an adapter that is down gives no address";
}

void CheckTargeted()
{
    VdDeviceInt device;
    EXPECT_TRUE(device.AttachByType(840, 1, false) == VDAPI_OK) << "ByType 840 index 1";
    DeviceDescriptor d;
    device.GetDescriptor(d);
    EXPECT_TRUE(std::memcmp(d.macAddress, kMacSecond, 6) == 0) << "ByType 840 index 1 is the second adapter";
    device.Detach();
    EXPECT_TRUE(device.AttachByType(840, 3, false) == VDAPI_E_NO_SUCH_DEVICE) << "ByType index past the pseudo-adapter";

    const uint8_t address[4] = {198, 51, 100, 7};
    EXPECT_TRUE(device.AttachByAddress(address) == VDAPI_OK) << "ByAddress";
    device.GetDescriptor(d);
    EXPECT_TRUE(std::memcmp(d.macAddress, kMacFirst, 6) == 0) << "ByAddress finds nic0";
    device.Detach();
    const uint8_t own[4] = {198, 51, 100, 9};
    EXPECT_TRUE(device.AttachByAddress(own) == VDAPI_E_NO_SUCH_DEVICE) << "the own-prefix adapter is not found by address";

    EXPECT_TRUE(device.AttachBySerial(int64_t(kAnyLocalSerial), false) == VDAPI_OK) << "attach the pseudo-adapter";
    HwFunctionDescriptor port;
    int32_t n = 0;
    EXPECT_TRUE(device.ListPorts(1, n, &port) == VDAPI_OK && n == 1) << "one port";
    EXPECT_TRUE(port.chanType == kChanIp) << "an IP port";
    for (const char* cap : {"IP", "TS", "TRPMODE", "INTTSRATE", "TX_T2MI"})
        EXPECT_TRUE(port.caps.Has(CapabilityIndex(cap))) << std::string("port capability ") + cap;
    EXPECT_TRUE(!port.caps.Has(CapabilityIndex("ASI")) && !port.caps.Has(CapabilityIndex("INPUT"))) << "nothing more";
    int v = 0, sub = 0;
    int64_t p1 = 0, p2 = 0;
    EXPECT_TRUE(device.GetIoConfig(1, 0, v, sub, p1, p2) == VDAPI_E_NOT_SUPPORTED) << "no I/O configuration";
    device.Detach();
    EXPECT_TRUE(device.AttachBySerial(int64_t(ExpectedSerial(kMacFirst, "nic1")), false) ==
                VDAPI_E_NO_SUCH_DEVICE) << "serial of a MAC under another name is nobody's";

    // The family alone: slots never match; a targeted search without a taker still counts.
    FamilyScan bySlot;
    bySlot.mode = ScanMode::BySlot;
    EXPECT_TRUE(ScanNicDevices(bySlot) == VDAPI_E_NO_SUCH_DEVICE) << "BySlot";
    FamilyScan bySerial;
    bySerial.mode = ScanMode::BySerial;
    bySerial.serial = int64_t(ExpectedSerial(kMacSecond, "nic1"));
    EXPECT_TRUE(ScanNicDevices(bySerial) == VDAPI_OK && bySerial.count == 1) << "BySerial without a taker";
}

void CheckNoAdapter()
{
    // Removing one end of the pair removes both.
    for (const char* name : {"nic0", "own0"})
        EXPECT_TRUE(RunQuiet(std::string("ip link del ") + name)) << std::string("remove ") + name;
    // A scan that finds no device answers VDAPI_OK with count 0: Scan.NoDeviceAndBadBuffer.
    FamilyScan all;
    EXPECT_TRUE(ScanNicDevices(all) == VDAPI_E_NO_DEVICE && all.count == 0)
        << "no device, not even the pseudo-adapter";

    // Only adapters with our own prefix: listed, so the pseudo-adapter is offered, alone.
    EXPECT_TRUE(MakeOwnPrefixPair()) << "own-prefix pair again";
    int32_t count = -1;
    VdResult rc = 0;
    const std::vector<DeviceDescriptor> d = ScanNics(2, count, rc);
    EXPECT_TRUE(rc == VDAPI_OK && count == 1 && uint64_t(d[0].serial) == kAnyLocalSerial) << "own-prefix adapters alone leave only the pseudo-adapter";
}

TEST(NicScan, AdaptersInAPrivateNetwork)
{
    IN_PRIVATE_NETWORK();
    TestSupport::TempRunDir runDir; // empty: only network adapters can be found
    ASSERT_TRUE(MakeAdapters()) << "cannot make the dummy adapters";
    CheckListing();
    CheckTargeted();
    CheckAdapterQueries();
    CheckNoAdapter();
}

TEST(NicHal, FixedPropertyTable)
{
    NicHal hal;
    int64_t value = -1;
    EXPECT_EQ(hal.GetProperty("CAP_DEMOD", 0, DriverProtocol::kValueBool, value), VDAPI_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(hal.GetProperty("FOO", -1, DriverProtocol::kValueInt32, value), VDAPI_E_NOT_FOUND);
    // The port count and the port's capabilities, as the device reads them:
    // NicScan.AdaptersInAPrivateNetwork.
    EXPECT_EQ(hal.GetProperty("PORT_COUNT", -1, DriverProtocol::kValueBool, value), VDAPI_E_INVALID_TYPE);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(hal.GetProperty("REF_CLK_FREQ", -1, DriverProtocol::kValueInt64, value), VDAPI_OK);
    EXPECT_EQ(value, 54000000);
    // A row matches on name and port together.
    EXPECT_EQ(hal.GetProperty("CAP_IP", 1, DriverProtocol::kValueBool, value), VDAPI_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(hal.GetProperty("PORT_COUNT", 0, DriverProtocol::kValueInt32, value), VDAPI_E_NOT_FOUND);

    // The reference-clock counter moves in whole milliseconds of 54 MHz.
    uint32_t first = 0, second = 0;
    ASSERT_EQ(hal.GetRefClkCnt(first), VDAPI_OK);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return hal.GetRefClkCnt(second) == VDAPI_OK && second != first; }));
    EXPECT_EQ((second - first) % 54000u, 0u);
}

} // namespace
} // namespace Vdapi
