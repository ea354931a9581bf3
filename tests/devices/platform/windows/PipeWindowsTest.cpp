// Windows named pipes: our client against a plain test server made with CreateNamedPipeA (a busy
// pipe, whole messages read in parts).
#include "PlatformTestObjects.h"

#include "devices/platform/windows/UniqueHandle.h"
#include "devices/platform/windows/XpPipeConnectionWindows.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>

namespace Vdapi {
namespace {

using namespace std::chrono_literals;

/// A message-mode server instance made directly with the system call, one instance at most.
UniqueHandle plainServer(const std::string& name, DWORD flags = 0)
{
    return UniqueHandle(::CreateNamedPipeA(("\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_DUPLEX | flags,
                                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0,
                                           nullptr));
}

TEST(PipeWindows, BusyPipeIsRetriedTenTimesAndConnectsOnceAnInstanceIsFree)
{
    const std::string name = PlatformTest::ObjectNames()("Busy");
    UniqueHandle instance = plainServer(name, FILE_FLAG_OVERLAPPED);
    ASSERT_TRUE(instance);
    XpPipeConnectionWindows first;
    ASSERT_EQ(VDAPI_OK, first.Connect(name.c_str()));

    XpPipeConnectionWindows impatient(1);
    EXPECT_EQ(VDAPI_E_NOT_FOUND, impatient.Connect(name.c_str()));
    EXPECT_EQ(10, impatient.lastConnectAttempts());
    EXPECT_FALSE(impatient.IsOpen());

    // The server lets the first client go and offers its instance again: a waiting client gets it.
    XpPipeConnectionWindows patient;
    auto connecting = std::async(std::launch::async, [&] { return patient.Connect(name.c_str()); });
    ASSERT_TRUE(waitUntil([&] { return patient.lastConnectAttempts() >= 1; }, 20s));
    first.Close();
    ::DisconnectNamedPipe(instance.get());
    UniqueHandle connected(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    overlapped.hEvent = connected.get();
    ::ConnectNamedPipe(instance.get(), &overlapped);
    ASSERT_EQ(std::future_status::ready, connecting.wait_for(30s));
    EXPECT_EQ(VDAPI_OK, connecting.get());
    EXPECT_GE(patient.lastConnectAttempts(), 2);
    ::CancelIoEx(instance.get(), &overlapped);
    DWORD unused = 0;
    ::GetOverlappedResult(instance.get(), &overlapped, &unused, TRUE);
}

TEST(PipeWindows, MessagesReadInPartsAndTheServerGoingAway)
{
    const std::string name = PlatformTest::ObjectNames()("Parts");
    UniqueHandle instance = plainServer(name);
    ASSERT_TRUE(instance);
    XpPipeConnectionWindows pipe;
    ASSERT_EQ(VDAPI_OK, pipe.Connect(name.c_str()));
    ::ConnectNamedPipe(instance.get(), nullptr);

    char buffer[16] = {};
    // One 10-byte message read as 4 + 6: the first read ends with "more data", which is success.
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(instance.get(), "0123456789", 10, &written, nullptr));
    EXPECT_EQ(VDAPI_OK, pipe.Read(buffer, 4, 0));
    EXPECT_EQ(0, std::memcmp(buffer, "0123", 4));
    EXPECT_EQ(VDAPI_OK, pipe.Read(buffer, 6, kXpInfinite));
    EXPECT_EQ(0, std::memcmp(buffer, "456789", 6));

    // Two messages make one read of their sum (short reads and flushing: PipeTest.ShortTransfersAndFlush).
    ASSERT_TRUE(::WriteFile(instance.get(), "ab", 2, &written, nullptr));
    ASSERT_TRUE(::WriteFile(instance.get(), "cd", 2, &written, nullptr));
    EXPECT_EQ(VDAPI_OK, pipe.Read(buffer, 4, 5000));
    EXPECT_EQ(0, std::memcmp(buffer, "abcd", 4));

    // The server goes away (what it wrote and nobody read is dropped): reading and writing fail.
    ASSERT_TRUE(::WriteFile(instance.get(), "xy", 2, &written, nullptr));
    ::DisconnectNamedPipe(instance.get());
    EXPECT_NE(VDAPI_OK, pipe.Read(buffer, 4, 5000));
    EXPECT_NE(VDAPI_OK, pipe.Write("z", 1, 5000));
}

} // namespace
} // namespace Vdapi
