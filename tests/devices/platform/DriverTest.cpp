// Kernel-driver handles against a small in-test driver that serves the wire format on a real socket.
#include "TestDriver.h"
#include "TestRunDir.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/DriverWire.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/UnixSocket.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <vector>

namespace Vdapi {
namespace {

using TestSupport::makeReply;
using TestSupport::Reply;
using TestSupport::TestDriver;

namespace fs = std::filesystem;

/// Echo driver: answers with the input reversed and error 0.
Reply reverseInput(const DriverWire::RequestHeader&, const std::vector<uint8_t>& input)
{
    return makeReply(0, std::vector<uint8_t>(input.rbegin(), input.rend()));
}

/// The in-test driver speaks the socket wire only: handles made meanwhile never ask for a
/// shared-memory slot (the simulator's tests cover that path).
struct SocketOnlyHandles {
    SocketOnlyHandles() { ::setenv("VDAPI_DRIVER_FAST", "0", 1); }
    ~SocketOnlyHandles() { ::unsetenv("VDAPI_DRIVER_FAST"); }
};

class DriverTest : public ::testing::Test {
protected:
    SocketOnlyHandles socketOnly;
    std::string interfacePath(int index) const
    {
        return RunDir::driverInterface(DriverClassGuid(DriverClass::Pcie), unsigned(index));
    }

    TestSupport::TempRunDir runDir;
};

TEST_F(DriverTest, DriverErrorsAreTranslatedThroughOneTable)
{
    struct Case {
        uint32_t windowsError;
        VdResult expected;
    };
    const Case cases[] = {
        {0, VDAPI_OK},
        {0xE000000A, VDAPI_E_IN_USE},
        {1450, VDAPI_E_OUT_OF_RESOURCES},
        {995, VDAPI_E_CANCELLED},
        {87, VDAPI_E_COMMUNICATION},
        {1, VDAPI_E_COMMUNICATION},
        {0xE0000000 | VDAPI_E_NOT_SUPPORTED, VDAPI_E_NOT_SUPPORTED}, // customer error carrying our code
        {0x20000000 | 4106, VDAPI_E_COMMUNICATION},                  // customer error without a name
        {0x20000000 | VDAPI_OK_PENDING, VDAPI_E_COMMUNICATION},      // never turned into a success
    };
    std::atomic<uint32_t> next{0};
    TestDriver driver(interfacePath(0), [&](const DriverWire::RequestHeader&, const std::vector<uint8_t>&) {
        return makeReply(next.load(), {0xAB, 0xCD});
    });
    ASSERT_TRUE(driver.ready());
    auto handle = Xp::NewDriver(DriverClass::Pcie);
    ASSERT_EQ(VDAPI_OK, handle->Open(0, false, true));
    for (const Case& c : cases) {
        next = c.windowsError;
        uint8_t output[4] = {};
        uint32_t returned = 0;
        uint32_t error = 0;
        EXPECT_EQ(c.expected, handle->Request(1, nullptr, 0, output, sizeof(output), &returned, &error))
            << std::hex << c.windowsError;
        EXPECT_EQ(c.windowsError, error);
        EXPECT_EQ(2u, returned); // output that accompanies an error is still delivered
        EXPECT_TRUE(handle->IsOpen());
        EXPECT_EQ(c.expected, DriverErrorToResult(c.windowsError));
    }
}

TEST_F(DriverTest, OversizedOrCutRepliesBreakTheExchangeWithoutReadingIt)
{
    std::atomic<int> mode{0};
    TestDriver driver(interfacePath(1), [&](const DriverWire::RequestHeader&, const std::vector<uint8_t>&) {
        Reply reply = makeReply(0, {});
        switch (mode.load()) {
        case 0:
            DriverWire::putU32(reply.bytes.data() + 4, 0xFFFFFFFF);
            break; // announces 4 GiB
        case 1:
            DriverWire::putU32(reply.bytes.data() + 4, 17);
            break; // one more than the room
        default:   // 3 of 8 bytes, then gone
            reply = makeReply(0, {1, 2, 3});
            DriverWire::putU32(reply.bytes.data() + 4, 8);
            reply.hangUp = true;
        }
        return reply;
    });
    ASSERT_TRUE(driver.ready());
    auto handle = Xp::NewDriver(DriverClass::Pcie);
    for (int m = 0; m < 3; ++m) {
        mode = m;
        ASSERT_EQ(VDAPI_OK, handle->Open(1, false, true));
        uint8_t output[16] = {};
        uint32_t returned = 77;
        EXPECT_EQ(VDAPI_E_COMMUNICATION,
                  handle->Request(2, nullptr, 0, output, sizeof(output), &returned, nullptr))
            << "mode " << m;
        EXPECT_EQ(0u, returned);
        // The stream can no longer be trusted: the handle is closed.
        EXPECT_FALSE(handle->IsOpen());
        EXPECT_EQ(VDAPI_E_DEV_DRIVER,
                  handle->Request(2, nullptr, 0, output, sizeof(output), &returned, nullptr));
    }
}

// Code, input, capacity, output and returned size of requests one after another on a handle:
// DriverHandle.SocketAndSlotGiveTheSameAnswers, against the simulator's driver.
TEST_F(DriverTest, BadArgumentsAreRefusedBeforeAnythingIsSentAndAHugeOutputIsAnnouncedAtTheCap)
{
    TestDriver driver(interfacePath(2), reverseInput);
    ASSERT_TRUE(driver.ready());
    auto handle = Xp::NewDriver(DriverClass::Pcie);
    uint8_t buffer[8] = {};
    ASSERT_EQ(VDAPI_OK, handle->Open(2, false, false));
    EXPECT_EQ(VDAPI_E_INVALID_BUF, handle->Request(1, nullptr, 8, buffer, 8, nullptr, nullptr));
    EXPECT_EQ(VDAPI_E_INVALID_BUF, handle->Request(1, buffer, 8, nullptr, 8, nullptr, nullptr));
    std::vector<uint8_t> tooMuch(DriverWire::kMaxPayload + 1);
    EXPECT_EQ(VDAPI_E_BUF_TOO_LARGE,
              handle->Request(1, tooMuch.data(), uint32_t(tooMuch.size()), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(0, driver.requestsSeen());
    EXPECT_EQ(VDAPI_OK, handle->Request(1, buffer, 8, buffer, 8, nullptr, nullptr)); // still usable

    // An output buffer larger than the wire carries is announced at the wire's cap.
    std::vector<uint8_t> large(DriverWire::kMaxPayload + 100);
    uint32_t returned = 99;
    ASSERT_EQ(VDAPI_OK, handle->Request(0xB02C707E, nullptr, 0, large.data(), uint32_t(large.size()),
                                        &returned, nullptr));
    EXPECT_EQ(0u, returned);
    EXPECT_EQ(DriverWire::kMaxPayload, driver.lastHeader().outputCapacity);
}

TEST(DriverPaths, LongPathsAreServedAndTooLongOnesRefused)
{
    // A run directory deep enough that interface paths outgrow a socket address (108 bytes)
    // but stay below the 256-character limit; then one that crosses it.
    SocketOnlyHandles socketOnly;
    const std::string base = fs::temp_directory_path().string() + "/" + std::string(60, 'd');
    fs::create_directories(base);
    {
        TestSupport::TempRunDir runDir(base);
        const std::string path = RunDir::driverInterface(DriverClassGuid(DriverClass::Usb), 7);
        ASSERT_GT(path.size(), 108u);
        ASSERT_LT(path.size(), 256u);
        TestDriver driver(path, reverseInput);
        ASSERT_TRUE(driver.ready());
        auto handle = Xp::NewDriver(DriverClass::Usb);
        ASSERT_EQ(VDAPI_OK, handle->Open(7, false, true));
        const uint8_t in[] = {9, 8};
        uint8_t out[2] = {};
        EXPECT_EQ(VDAPI_OK, handle->Request(5, in, 2, out, 2, nullptr, nullptr));
        EXPECT_EQ(8, out[0]);
    }
    const std::string deeper = base + "/" + std::string(150, 'e');
    fs::create_directories(deeper);
    {
        TestSupport::TempRunDir runDir(deeper);
        ASSERT_GE(RunDir::driverInterface(DriverClassGuid(DriverClass::Usb), 7).size(), 256u);
        auto handle = Xp::NewDriver(DriverClass::Usb);
        EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, handle->Open(7, false, true));
    }
    fs::remove_all(base);
}

// Missing interfaces: DriverHandles.WithoutTheDriversEveryClassIsEmptyAndNothingOpens.
TEST_F(DriverTest, PresentIndicesAreListedAndUnusableInterfacesDoNotOpen)
{
    auto handle = Xp::NewDriver(DriverClass::Bb2);
    const std::string folder = RunDir::root() + "/drivers/" + DriverClassGuid(DriverClass::Bb2);
    fs::create_directories(folder);
    // Socket files nobody serves, and a file that is no socket.
    std::vector<UniqueFd> sockets;
    for (const char* name : {"0", "7", "49", "50", "07", "x"}) {
        UnixSocketAddress address;
        ASSERT_EQ(VDAPI_OK, address.assign(folder + "/" + name));
        sockets.push_back(NewUnixStreamSocket(false));
        ASSERT_EQ(0, ::bind(sockets.back().get(), address.get(), address.length()));
    }
    std::ofstream(folder + "/5") << "regular file";
    uint64_t mask = 0;
    ASSERT_EQ(VDAPI_OK, handle->ListInterfaces(mask));
    EXPECT_EQ((uint64_t(1) << 0) | (uint64_t(1) << 7) | (uint64_t(1) << 49), mask);
    // Present, but not openable.
    EXPECT_EQ(VDAPI_E_NO_PERMISSION, handle->Open(0, false, true));
    EXPECT_EQ(VDAPI_E_NO_PERMISSION, handle->Open(5, false, true));
    EXPECT_FALSE(handle->IsOpen());
}

} // namespace
} // namespace Vdapi
