// Windows named pipes: our client against a plain test server made with CreateNamedPipeA, for a
// busy pipe (messages read in parts: PipeTest.PartsShortTransfersFlushAndTheServerGoingAway).
#include "PlatformTestObjects.h"

#include "devices/platform/windows/UniqueHandle.h"
#include "devices/platform/windows/XpPipeConnectionWindows.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
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

} // namespace
} // namespace Vdapi
