// Published driver records pinned in bytes written by hand from their layout tables. Each row
// checks the device layer's encoder (requests) or decoder (replies) and the simulator's side
// of the same record against those bytes, so an offset moved in either codec fails here even
// when both sides would still agree with each other.
#include "devices/IoConfigTable.h"
#include "base/WireBytes.h"
#include "devices/pcie/DriverProtocol.h"
#include "devices/platform/posix/DriverWire.h"
#include "devices/platform/posix/XpDriverPosix.h"
#include "devices/usb/UsbDriverProtocol.h"
#include "devices/vde/ServiceProtocol.h"
#include "devices/vde/ServiceReply.h"
#include "devices/vde/ServiceRequest.h"
#include "devices/vde/VdeListView.h"
#include "sim/DriverHandler.h"
#include "sim/IoCodes.h"
#include "sim/ServiceHandler.h"
#include "sim/SharedList.h"
#include "tests/devices/platform/TestRunDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <type_traits>

namespace vdsim::test {
namespace {

namespace DP = Vdapi::DriverProtocol;
namespace UP = Vdapi::UsbDriverProtocol;
namespace SP = Vdapi::ServiceProtocol;
using Bytes = std::vector<uint8_t>;

/// Bytes from hex text; spaces, '|' and line breaks separate nothing. "NN*k" repeats a byte k
/// times ("00*50").
Bytes hex(const std::string& text)
{
    Bytes out;
    for (size_t i = 0; i < text.size();) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) { ++i; continue; }
        const uint8_t b = uint8_t(std::stoul(text.substr(i, 2), nullptr, 16));
        i += 2;
        size_t times = 1;
        if (i < text.size() && text[i] == '*') {
            size_t used = 0;
            times = std::stoul(text.substr(i + 1), &used);
            i += 1 + used;
        }
        out.insert(out.end(), times, b);
    }
    return out;
}
/// A NUL-padded name field of `width` characters, as hex; `unit` 2 makes them UTF-16 code units.
std::string name(const std::string& text, size_t width, size_t unit = 1)
{
    std::string out;
    char buf[4];
    for (char c : text) {
        std::snprintf(buf, sizeof buf, "%02X ", uint8_t(c));
        out += buf + std::string(unit == 2 ? "00 " : "");
    }
    return out + "00*" + std::to_string(unit * (width - text.size())) + " ";
}
/// A record as its encoder writes it; a name that does not fit fails the test.
template <class Record>
Bytes encoded(const Record& r)
{
    Bytes b(Record::kSize);
    if constexpr (std::is_same_v<decltype(r.encode(b.data())), bool>)
        EXPECT_TRUE(r.encode(b.data()));
    else
        r.encode(b.data());
    return b;
}

// Records that several tests send or expect.
const std::string kCore = "01 00 0C B1 | 00 00 00 00"; // the simulator's core block {0xB10C0001, 0}
const Bytes kPlainHeader = hex("00 00 00 00 | FF FF FF FF | FF FF FF FF | FF FF FF FF");
const std::string kUsbPropertyRequest = "FF FF FF FF | FF FF FF FF | 00 00 00 00 | 00 00 00 00 |" +
                                        name("CAP_DBLBUF", 50) + "| 00 00 | 06 00 00 00 | 09 00 00 00 00 00 00 00";
const std::string kPcieIoRequest =
    kCore + "| 00 00 00 00 | FF FF FF FF | 01 00 00 00 | 01 00 00 00 |" + name("IODIR", 52);
/// One I/O-configuration reply record: names at 0 and 50, parameters at 104 and 112.
const std::string kIoReplyRecord =
    name("OUTPUT", 50) + name("LOOPTHR", 54) + "02 00 00 00 00 00 00 00 | 09 00 00 00 00 00 00 00";
/// The legacy reply for card port 4, the second port of function 1: OUTPUT (25) / DBLBUF (27).
const std::string kLegacyIoReply =
    "02 00 00 00 | 00 00 00 00 | 19 00 00 00 | 1B 00 00 00 | 03 00 00 00 00 00 00 00 | 05 00 00 00 00 00 00 00";
/// The 40-byte list entry: serial, type, firmware version and variant, IPv4, MAC, padding,
/// operating mode, port.
const std::string kListEntry = "41 DE 05 BB 00 00 00 00 | 41 0C 00 00 | 03 00 00 00 | 01 00 00 00 | 0A 00 00 05 |"
                               "00 11 22 33 44 55 | 00 00 | 02 00 00 00 | 50 1F 00 00";

// A rig whose every record field has a distinct value.
const char* const kRigText = R"JSON({
  "drivers": {"pcie": {"version": "1.3.1.0"}, "legacy": {"version": "4.20.1.0"}, "usb": {"version": "4.8.0.2"}},
  "devices": [
    {"type": 2144, "serial": 2144000123, "index": 0, "bus": 3, "slot": 5, "subType": 2, "hardwareRevision": 7,
     "firmwareVersion": 11, "firmwareVariant": 1, "firmwareStatus": 0, "vendorId": 4608, "deviceId": 2144,
     "subVendorId": 4609, "subsystemId": 2145, "infoBlock": [4660, 1, 2, 3, 4], "driverInfo": [1, 2, 3, 4, 5, 6, 7],
     "portOverrides": [{"port": 1, "addCaps": ["IP"]}, {"port": 2, "io": {"IODIR": {"value": "OUTPUT", "subValue": "LOOPTHR", "par1": 2, "par2": 9}}}]},
    {"type": 124, "serial": 124000007, "index": 0, "functions": [2, 2],
     "portOverrides": [{"port": 4, "io": {"IODIR": {"value": "OUTPUT", "subValue": "DBLBUF", "par1": 3, "par2": 5}}}]},
    {"type": 215, "serial": 215000042, "index": 0, "hardwareRevision": 3, "firmwareVersion": 6,
     "firmwareVariant": 2, "usbProductId": 2263, "usbVendorId": 4608, "usbAddress": 9}
  ],
  "service": {"devices": [
    {"type": 3137, "serial": 3137723969, "ip": "10.0.0.5", "mac": "00-11-22-33-44-55", "firmwareVersion": 3,
     "firmwareVariant": 1, "opMode": 2, "port": 8016, "properties": {"GOLDEN": 333}, "strings": {"DEVICE_NAME": "GoldBox"}}
  ]}
})JSON";

class GoldenRecords : public ::testing::Test {
protected:
    GoldenRecords() : state_(parseRig(nlohmann::json::parse(kRigText), "golden rig")) {}
    DriverReply ask(Family f, size_t device, uint32_t code, const Bytes& in, int function = 0)
    {
        return answerDriverRequest(state_, Endpoint{f, device, function}, 1, code, in, 4096);
    }
    SimState state_;
};

/// Decoded fields as one list, so that a record's fields are compared in one line.
template <class... T>
std::vector<int64_t> fields(T... values)
{
    return {int64_t(values)...};
}

std::string dump(const Bytes& b)
{
    std::string out;
    char buf[4];
    for (uint8_t c : b) { std::snprintf(buf, sizeof buf, "%02X ", c); out += buf; }
    return out;
}

TEST_F(GoldenRecords, DriverRequestsEncodedByTheLayerAreReadBackByTheSimulator)
{
    // Requests: the hand-written bytes, the layer's encoder, and what the simulator answers to
    // exactly those bytes (an answer proves it read each field where the table puts it).
    struct Row {
        const char* record;
        Family family;
        uint32_t code;
        Bytes golden;
        std::function<Bytes()> encode;
        Bytes expectedReply; // the simulator's reply to `golden`
    };
    const std::string valueReply2 = "00*8 | 02 00 00 00 00 00 00 00";
    const std::vector<Row> rows{
        {"header {0,-1,-1,-1} (version request)", Family::Pcie, DP::kGetVersion,
         kPlainHeader, [] { Bytes b(16); DP::encodePlainHeader(b.data()); return b; },
         hex("01 00 00 00 | 03 00 00 00 | 01 00 00 00 | 00 00 00 00")},
        {"PCIe property request", Family::Pcie, DP::kGetProperty,
         hex(kCore + "| 00 00 00 00 | FF FF FF FF | FF FF FF FF | FF FF | FF FF | 00 00 00 00 |"
             "00 00 00 00 | FF FF FF FF | 01 00 00 00 |" + name("CAP_DBLBUF", 50) + "| 00 00 | 06 00 00 00 |"
             "09 00 00 00 00 00 00 00"),
         [] { return encoded(DP::PciePropertyRequest{0xB10C0001, 0, {"CAP_DBLBUF", 1, -1, -1, 0, 0, -1}}); },
         hex("00*8 | 01 00 00 00 00 00 00 00")},
        {"legacy property request", Family::Legacy, DP::kLegacyGetProperty,
         hex("FF FF FF FF | 00 00 00 00 | 00 00 00 00 | 00 00 00 00 | FF FF FF FF | FF FF FF FF |" +
             name("PORT_COUNT", 50) + "| 00 00 | 06 00 00 00 | 09 00 00 00 00 00 00 00"),
         [] { return encoded(DP::LegacyPropertyRequest{{"PORT_COUNT", -1, -1, 0, 0, 0, -1}}); },
         hex(valueReply2)},
        {"USB property request", Family::Usb, UP::kGetProperty,
         hex(kUsbPropertyRequest), [] { return encoded(UP::UsbPropertyRequest{-1, -1, 0, 0, "CAP_DBLBUF"}); },
         hex("00*8 | 01 00 00 00 00 00 00 00")},
        {"function-block header (exclusive-access probe)", Family::Pcie, DP::kExclusiveAccess,
         hex("03 00 0C B1 | 00 01 00 00 | 02 00 00 00 | FF FF FF FF"),
         [] { return encoded(DP::FunctionBlockHeader{0xB10C0003, 0x100, DP::kCmdProbe}); }, {}},
        {"function-block header (link speed, command 11)", Family::Pcie, DP::kGetLinkSpeed,
         hex("07 00 0C B1 | 00 01 00 00 | 0B 00 00 00 | FF FF FF FF"),
         [] { return encoded(DP::FunctionBlockHeader{0xB10C0007, 0x100, DP::kCmdLinkSpeed}); },
         hex("02 00 00 00")}, // the rig's default link-speed code
        {"legacy exclusive-access request (probe port 1)", Family::Legacy, DP::kLegacyExclusiveAccess,
         hex("01 00 00 00 | 01 00 00 00 | 03 00 00 00"),
         [] { return encoded(DP::LegacyExclusiveRequest{1, DP::kLegacyProbe}); }, {}},
        {"PCIe I/O-configuration request and reply", Family::Pcie, DP::kIoConfig,
         hex(kPcieIoRequest),
         [] {
             Bytes b(DP::kIoRequestOneSize);
             DP::IoConfigItem item;
             item.port = 1;
             item.group = "IODIR";
             DP::encodeIoRequestOne(b.data(), {0xB10C0001, 0}, item);
             return b;
         },
         hex("00 00 00 00 | 01 00 00 00 |" + kIoReplyRecord + "| 00*16")},
        {"legacy I/O-configuration request and reply (numbers)", Family::Legacy, DP::kLegacyIoConfig,
         hex("01 00 00 00 | 02 00 00 00 | 00 00 00 00 | FF FF FF FF | FF FF FF FF | FF*8 | FF*8"),
         [] {
             Bytes b(DP::kLegacyIoRequestHeaderSize + DP::LegacyIoRecord::kSize);
             Vdapi::Wire::putU32(b.data(), 1);
             DP::LegacyIoRecord r;
             r.port = 2;
             r.group = Vdapi::kIoDir;
             r.encode(b.data() + DP::kLegacyIoRequestHeaderSize);
             return b;
         },
         hex(kLegacyIoReply)},
        {"USB I/O-configuration request and reply", Family::Usb, UP::kIoConfig,
         hex("01 00 00 00 | 00 00 00 00 |" + name("IODIR", 52)),
         [] {
             Bytes b(DP::kCountHeaderSize + DP::kIoRequestRecordSize);
             Vdapi::Wire::putU32(b.data(), 1);
             DP::IoConfigItem item;
             item.group = "IODIR";
             DP::encodeIoRequestRecord(b.data() + DP::kCountHeaderSize, item);
             return b;
         },
         hex(name("INPUT", 50) + name("INPUT", 54) + "FF*8 | FF*8 | 00*16")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.record);
        EXPECT_EQ(row.encode(), row.golden) << "layer encoder";
        const int function = row.code == DP::kLegacyIoConfig ? 1 : 0;
        const size_t device = row.family == Family::Pcie ? 0 : row.family == Family::Legacy ? 1 : 2;
        DriverReply reply = ask(row.family, device, row.code, row.golden, function);
        EXPECT_EQ(reply.windowsError, 0u) << "simulator refused the bytes";
        EXPECT_EQ(reply.output, row.expectedReply) << "simulator reply " << dump(reply.output);
    }
}

TEST_F(GoldenRecords, DriverRepliesEncodedByTheSimulatorAreReadByTheLayer)
{
    // The 104-byte information record; the older request leaves the word at 92 zero.
    const std::string info = "60 08 00 00 | 02 00 00 00 | 00 00 00 00 | 00 00 00 00 | 7B D8 CA 7F 00 00 00 00 |"
                             "07 00 00 00 | 0B 00 00 00 | 01 00 00 00 | 00 00 00 00 | 00 00 00 00 |"
                             "34 12 01 02 03 04 | 00 12 | 60 08 | 01 12 | 61 08 | 00 00 | 03 00 00 00 |"
                             "05 00 00 00 | 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 05 00 00 00 06 00 00 00 |";
    EXPECT_EQ(ask(Family::Pcie, 0, DP::kGetDeviceInfo, kPlainHeader).output, hex(info + "07 00 00 00 | 00*8"));
    EXPECT_EQ(ask(Family::Pcie, 0, DP::kGetDeviceInfoOld, kPlainHeader).output, hex(info + "00 00 00 00 | 00*8"));
    const Bytes golden = hex(info + "07 00 00 00 | 00*8");
    const DP::DeviceInfoRecord r = DP::DeviceInfoRecord::decode(golden.data());
    EXPECT_EQ(fields(r.typeNumber, r.subType, r.serial, r.hardwareRevision, r.firmwareVersion, r.firmwareVariant,
                     r.infoBlockWord, r.vendorId, r.deviceId, r.subVendorId, r.subsystemId, r.pciBus, r.pciSlot,
                     r.driverInfo[0], r.driverInfo[6]),
              fields(2144, 2, 2144000123, 7, 11, 1, 0x1234, 0x1200, 0x0860, 0x1201, 0x0861, 3, 5, 1, 7));

    // Version answers of the USB and the legacy driver (4 x i32), read back by the layer's
    // decoder; the PCIe driver's is the first row of the request table.
    for (const auto& [family, device, code, golden, version] :
         {std::tuple{Family::Usb, size_t(2), UP::kGetVersion, "04 00 00 00 | 08 00 00 00 | 00*4 | 02 00 00 00",
                     std::vector<int>{4, 8, 0, 2}},
          std::tuple{Family::Legacy, size_t(1), DP::kLegacyGetVersion,
                     "04 00 00 00 | 14 00 00 00 | 01 00 00 00 | 00*4", std::vector<int>{4, 20, 1, 0}}}) {
        EXPECT_EQ(ask(family, device, code, {}).output, hex(golden)) << golden;
        const DP::VersionRecord v = DP::VersionRecord::decode(hex(golden).data());
        EXPECT_EQ(std::vector<int>({v.major, v.minor, v.bugfix, v.build}), version);
    }

    // The USB 40-byte information record.
    const Bytes usbInfo = hex("D7 08 | 00 12 | 09 00 00 00 | 00 00 00 00 | D7 00 00 00 | 03 00 00 00 | 06 00 00 00 |"
                              "02 00 00 00 | 00 00 00 00 | EA A3 D0 0C 00 00 00 00");
    EXPECT_EQ(ask(Family::Usb, 2, UP::kGetDeviceInfo, {}).output, usbInfo);
    const UP::UsbDeviceInfo u = UP::UsbDeviceInfo::decode(usbInfo.data());
    EXPECT_EQ(fields(u.productId, u.vendorId, u.usbAddress, u.typeNumber, u.hardwareRevision, u.firmwareVersion,
                     u.firmwareVariant, u.serial),
              fields(2263, 0x1200, 9, 215, 3, 6, 2, 215000042));

    // I/O-configuration replies (after the PCIe reply's 8-byte head, whose content is not read).
    const Bytes ioRecord = hex(kIoReplyRecord);
    DP::IoConfigItem item;
    DP::decodeIoReplyRecord(ioRecord.data(), item);
    EXPECT_EQ(item.value + " " + item.subValue, "OUTPUT LOOPTHR");
    EXPECT_EQ(fields(item.par1, item.par2), fields(2, 9));
    const Bytes legacyIo = hex(kLegacyIoReply);
    const DP::LegacyIoRecord l = DP::LegacyIoRecord::decode(legacyIo.data());
    EXPECT_EQ(fields(l.port, l.group, l.value, l.subValue, l.par1, l.par2),
              fields(2, Vdapi::kIoDir, Vdapi::kIoOutput, Vdapi::kIoDblBuf, 3, 5));
}

TEST_F(GoldenRecords, RequestBatchAndItsAnswerAsBothSidesWriteAndReadThem)
{
    namespace DW = Vdapi::DriverWire;
    // Two requests: one with two input bytes and 8 bytes of room, one with neither.
    const Bytes requests = hex("02 00 00 00 | E2 6E C8 AF | 02 00 00 00 | 08 00 00 00 | AA BB |"
                               "11 00 00 00 | 00 00 00 00 | 00 00 00 00");
    Bytes written;
    const uint8_t input[] = {0xAA, 0xBB};
    DW::beginBatch(written);
    DW::appendBatchRequest(written, {0xAFC86EE2, 2, 8}, input);
    DW::appendBatchRequest(written, {0x11, 0, 0}, nullptr);
    DW::setBatchCount(written, 2);
    EXPECT_EQ(dump(written), dump(requests));
    // The answers need 4 + (8 + 8) + (8 + 0) bytes of room.
    std::vector<BatchItem> items;
    EXPECT_EQ(parseBatchRequest(requests, 27, items), BatchParse::BadTotal);
    ASSERT_EQ(parseBatchRequest(requests, 28, items), BatchParse::Ok);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(fields(items[0].header.code, items[0].header.inputLength, items[0].header.outputCapacity, items[0].inputAt,
                     items[1].header.code, items[1].inputAt),
              fields(0xAFC86EE2u, 2, 8, 16, 0x11, 30));

    // Their answers: three output bytes and success, then error 87 with no output.
    const Bytes answers = hex("02 00 00 00 | 00 00 00 00 | 03 00 00 00 | 01 02 03 | 57 00 00 00 | 00 00 00 00");
    Bytes packed;
    const uint8_t output[] = {1, 2, 3};
    DW::beginBatch(packed);
    DW::setBatchCount(packed, 2);
    DW::appendBatchReply(packed, {0, 3}, output);
    DW::appendBatchReply(packed, {87, 0}, nullptr);
    EXPECT_EQ(dump(packed), dump(answers));
    uint8_t room[8] = {};
    std::vector<Vdapi::DriverRequestItem> handed(2);
    handed[0].output = room;
    handed[0].outputCapacity = sizeof room;
    ASSERT_TRUE(Vdapi::UnpackBatchReply(answers.data(), answers.size(), handed));
    EXPECT_EQ(fields(handed[0].returnedSize, handed[0].windowsError, handed[1].returnedSize, handed[1].windowsError),
              fields(3, 0, 0, 87));
    EXPECT_EQ(dump(Bytes(room, room + 3)), "01 02 03 ");
    // An answer cut short, or one announcing more output than its request's room, is refused.
    EXPECT_FALSE(Vdapi::UnpackBatchReply(answers.data(), answers.size() - 1, handed));
    handed[0].outputCapacity = 2;
    EXPECT_FALSE(Vdapi::UnpackBatchReply(answers.data(), answers.size(), handed));
}

TEST_F(GoldenRecords, TheOpenFillReachesOnlyTheBytesTheLayoutsLeaveOpen)
{
    state_.setOpenFill(0xA5);
    const Bytes info = ask(Family::Pcie, 0, DP::kGetDeviceInfo, kPlainHeader).output;
    ASSERT_EQ(info.size(), 104u);
    EXPECT_EQ(Bytes(info.begin() + 12, info.begin() + 16), hex("A5*4"));
    EXPECT_EQ(Bytes(info.begin() + 56, info.begin() + 64), hex("61 08 A5 A5 03 00 00 00"));
    EXPECT_EQ(Bytes(info.begin() + 92, info.end()), hex("07 00 00 00 | A5*8"));
    EXPECT_EQ(ask(Family::Pcie, 0, DP::kIoConfig, hex(kPcieIoRequest)).output, hex("A5*8 |" + kIoReplyRecord + "| A5*16"));
    EXPECT_EQ(ask(Family::Usb, 2, UP::kGetProperty, hex(kUsbPropertyRequest)).output,
              hex("A5*8 | 01 00 00 00 00 00 00 00"));
    const Bytes usbInfo = ask(Family::Usb, 2, UP::kGetDeviceInfo, {}).output;
    ASSERT_EQ(usbInfo.size(), 40u);
    EXPECT_EQ(Bytes(usbInfo.begin() + 8, usbInfo.begin() + 16), hex("A5*4 | D7 00 00 00"));
    Bytes version = hex("00 00 00 00");
    fillOpenServiceBytes(SP::kCmdVersion, version, 0xA5);
    EXPECT_EQ(version, hex("A5*4"));
}

TEST_F(GoldenRecords, ServicePipeCommandRequestsAndReplies)
{
    // Each row: the request as the layer builds it and as the simulator reads it, and the
    // simulator's reply, which the layer's reply check accepts (result 0 at 4) and decodes.
    const std::string serial = "41 DE 05 BB 00 00 00 00"; // 3137723969
    const uint8_t ip[4] = {10, 0, 0, 5};
    Bytes numeric, text, eventPipe;
    ASSERT_TRUE(Vdapi::ServiceRequest::Property(SP::kCmdNumericProperty, "GOLDEN", 3137, 3, 0, 0, numeric));
    ASSERT_TRUE(Vdapi::ServiceRequest::Property(SP::kCmdStringProperty, "DEVICE_NAME", 3137, 0, 0, 0, text));
    ASSERT_TRUE(Vdapi::ServiceRequest::EventPipe("VdapiVdeSvc_EvPipe_42", 5, eventPipe));
    struct Row {
        const char* what;
        Bytes built;   // the layer's request
        Bytes request; // from the table
        Bytes reply;   // from the table
    };
    const std::vector<Row> rows{
        {"0: version 5.2.0.0 at 8, 12, 16, 20", Vdapi::ServiceRequest::Command(SP::kCmdVersion),
         hex("00 00 00 00"),
         hex("00 00 00 00 | 00 00 00 00 | 05 00 00 00 | 02 00 00 00 | 00 00 00 00 | 00 00 00 00")},
        {"2: two names of 100 UTF-16 code units at 8 and 208", Vdapi::ServiceRequest::Command(SP::kCmdListNames),
         hex("02 00 00 00"), hex("00*8 |" + name("VdeSvcListMutex", 100, 2) + name("VdeSvcList", 100, 2))},
        {"11: the 8-byte result", Vdapi::ServiceRequest::Command(SP::kCmdRefreshList), hex("0B 00 00 00"),
         hex("00*8")},
        {"1: name at 4, type 56, firmware 60, 0 at 64, port + 1 at 68", numeric,
         hex("01 00 00 00 |" + name("GOLDEN", 52) + "41 0C 00 00 | 03 00 00 00 | 00*4 | 00*4"),
         hex("00*8 | 4D 01 00 00 00 00 00 00 | 00*8")},
        {"7: as 1; reply length at 8, text at 12", text,
         hex("07 00 00 00 |" + name("DEVICE_NAME", 52) + "41 0C 00 00 | 00*4 | 00*4 | 00*4"),
         hex("00*8 | 07 00 00 00 |" + name("GoldBox", 96))},
        {"3: pipe name at 4, mask at 132", eventPipe,
         hex("03 00 00 00 |" + name("VdapiVdeSvc_EvPipe_42", 128) + "05 00 00 00"), hex("00*8")},
        {"4: IPv4 at 4, serial 8, port + 1 at 16; handle at 8", Vdapi::ServiceRequest::DemodAttach(ip, 3137723969, 2),
         hex("04 00 00 00 | 0A 00 00 05 |" + serial + "| 02 00 00 00 | 00*4"), hex("00*8 | 01 00 00 5E | 00*4")},
        {"6: serial 8, port + 1 16, handle 20, mode code 24", Vdapi::ServiceRequest::DemodAccessMode(3137723969, 2, 0x5E000001, 2),
         hex("06 00 00 00 | 00*4 |" + serial + "| 02 00 00 00 | 01 00 00 5E | 02 00 00 00 | 00*4"), hex("00*8")},
        {"5: serial 8, port + 1 16, handle 20", Vdapi::ServiceRequest::DemodDetach(3137723969, 2, 0x5E000001),
         hex("05 00 00 00 | 00*4 |" + serial + "| 02 00 00 00 | 01 00 00 5E"), hex("00*8")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(dump(row.built), dump(row.request));
        const ServiceAnswer answer = answerServiceRequest(state_, row.request, 1);
        EXPECT_EQ(dump(answer.reply), dump(row.reply));
        EXPECT_EQ(Vdapi::ServiceReply::Check(Vdapi::Wire::getI32(row.request.data()), row.reply.data(), row.reply.size()), 0u);
    }
    const Vdapi::VdeServiceVersion v = Vdapi::ServiceReply::Version(rows[0].reply.data());
    EXPECT_EQ(v.major * 100 + v.minor * 10 + v.bugfix, 520u);
    std::string mutexName, listName, value;
    ASSERT_TRUE(Vdapi::ServiceReply::ListNames(rows[1].reply.data(), mutexName, listName));
    EXPECT_EQ(mutexName + " " + listName, "VdeSvcListMutex VdeSvcList");
    EXPECT_TRUE(answerServiceRequest(state_, rows[2].request, 1).refreshList);
    EXPECT_EQ(Vdapi::ServiceReply::NumericValue(rows[3].reply.data()), 333);
    ASSERT_TRUE(Vdapi::ServiceReply::StringValue(rows[4].reply.data(), value));
    EXPECT_EQ(value, "GoldBox");
    EXPECT_EQ(Vdapi::ServiceReply::AttachHandle(rows[6].reply.data()), 0x5E000001u); // the simulator's first handle
    // Goodbye is FF FF FF FF, and has no reply. The pipe's frame headers are PipeMessengerTest's.
    EXPECT_EQ(Vdapi::ServiceRequest::Command(SP::kCmdGoodbye), hex("FF FF FF FF"));
    EXPECT_FALSE(answerServiceRequest(state_, hex("FF FF FF FF"), 1).hasReply);
}

TEST_F(GoldenRecords, SharedMemoryListHeaderAndEntry)
{
    // Version 1 at 0, the count at 8, the entries from 24; the rest of the header is open. The
    // layer reads the entry's every field back.
    const Bytes list = hex("01 00 00 00 | 00*4 | 01 00 00 00 | 00*12 |" + kListEntry);
    const Vdapi::VdeListView view(list.data(), list.size());
    EXPECT_TRUE(view.HasValidVersion());
    ASSERT_EQ(view.EntryCount(), 1u);
    SP::VdeListEntry d;
    ASSERT_TRUE(view.Entry(0, d));
    EXPECT_EQ(fields(d.serial, d.typeNumber, d.firmwareVersion, d.firmwareVariant, d.opMode, d.port),
              fields(3137723969, 3137, 3, 1, 2, 8016));
    EXPECT_EQ(d.ipAddress, (std::array<uint8_t, 4>{10, 0, 0, 5}));
    EXPECT_EQ(d.macAddress, (std::array<uint8_t, 6>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));

    // The simulator's publication of the rig's list (its entries written by the same encoder),
    // read from its section.
    Vdapi::TestSupport::TempRunDir dir;
    SharedList shared;
    std::string error;
    ASSERT_TRUE(shared.create("GoldenMutex", "GoldenList", error)) << error;
    std::vector<SP::VdeListEntry> entries;
    for (const ServiceDevice& d : state_.rig().service.devices) entries.push_back(d.entry);
    ASSERT_TRUE(shared.publish(entries, SP::kListVersion, int32_t(entries.size())));
    const std::string published = TempDir::read(dir.file("shm/GoldenList")).substr(0, list.size());
    EXPECT_EQ(dump(Bytes(published.begin(), published.end())), dump(list));
    shared.destroy();
}

TEST(GoldenCodes, TheLegacyDriverNumbersTheTableAsTheLayerDoes)
{
    for (int code = -1; code <= Vdapi::kIoConfigCount; ++code) {
        EXPECT_EQ(ioCodeName(code), Vdapi::IoConfigName(code)) << code;
        if (code >= 0 && code < Vdapi::kIoConfigCount) {
            EXPECT_EQ(ioCode(ioCodeName(code)), code);
        }
        const Vdapi::IoConfigRow* row = Vdapi::IoConfigRowAt(code);
        EXPECT_EQ(code >= 0 && code < kIoGroupCodeEnd, row && row->isGroup) << code;
    }
}

} // namespace
} // namespace vdsim::test
