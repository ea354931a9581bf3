// Named mutexes and sections as files below the run directory: what only files show (making them,
// making them again, removing them, files that are too short or not finished).
#include "tests/devices/platform/TestRunDir.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/XpNamedMutexPosix.h"
#include "devices/platform/posix/XpSharedMemPosix.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>

namespace Vdapi {
namespace {

TEST(RunDirObjects, MutexFilesAreMadeOnceAndOnlyFinishedOnesOpen)
{
    TestSupport::TempRunDir runDir;
    ASSERT_EQ(VDAPI_OK, XpNamedMutexPosix::Create("ListLock"));
    ASSERT_EQ(VDAPI_OK, XpNamedMutexPosix::Create("ListLock")); // existing one is kept
    auto mutex = Xp::NewNamedMutex();
    ASSERT_EQ(VDAPI_OK, mutex->Open("ListLock"));
    ASSERT_EQ(VDAPI_OK, mutex->Lock(0));
    ASSERT_EQ(VDAPI_OK, XpNamedMutexPosix::Create("ListLock")); // not while it is held either
    auto theirs = Xp::NewNamedMutex();
    ASSERT_EQ(VDAPI_OK, theirs->Open("ListLock"));
    EXPECT_EQ(VDAPI_E_TIMEOUT, std::async(std::launch::async, [&] { return theirs->Lock(20); }).get());
    EXPECT_EQ(VDAPI_OK, mutex->Unlock());

    // A truncated file is not mapped (touching past its end would fault); a file whose creator
    // has not marked it ready is not a mutex yet.
    std::filesystem::create_directories(runDir.path() + "/mutex");
    std::ofstream(RunDir::mutex("Short")) << "tiny";
    EXPECT_EQ(VDAPI_E_NOT_FOUND, mutex->Open("Short"));
    std::ofstream(RunDir::mutex("Unready")) << std::string(sizeof(RunDir::NamedMutexFile), '\0');
    EXPECT_EQ(VDAPI_E_NOT_FOUND, mutex->Open("Unready"));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock(0)); // a failed Open leaves it closed

    EXPECT_EQ(VDAPI_OK, XpNamedMutexPosix::Remove("ListLock"));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, XpNamedMutexPosix::Remove("ListLock"));
}

TEST(RunDirObjects, SectionFilesAreMadeOnceAndNeverMappedPastTheirEnd)
{
    TestSupport::TempRunDir runDir;
    ASSERT_EQ(VDAPI_OK, XpSharedMemPosix::Create("DeviceList", 20504));
    auto writer = Xp::NewSharedMem();
    void* w = nullptr;
    ASSERT_EQ(VDAPI_OK, writer->Open("DeviceList", 20504, w, false));
    const uint32_t version = 1;
    std::memcpy(static_cast<uint8_t*>(w) + 20500, &version, 4);
    // Creating it again keeps the existing section and its contents.
    ASSERT_EQ(VDAPI_OK, XpSharedMemPosix::Create("DeviceList", 64));
    auto reader = Xp::NewSharedMem();
    void* r = nullptr;
    ASSERT_EQ(VDAPI_OK, reader->Open("DeviceList", 0, r, true));
    EXPECT_EQ(20504u, reader->Size());
    uint32_t seen = 0;
    std::memcpy(&seen, static_cast<const uint8_t*>(r) + 20500, 4);
    EXPECT_EQ(1u, seen);

    void* address = nullptr;
    EXPECT_EQ(VDAPI_E_INVALID_ARG, reader->Open("..", 16, address, true)); // names with a slash: XpSharedMem
    // This file system stores at most 255 bytes per name; longer names cannot exist here.
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, reader->Open(std::string(259, 's').c_str(), 16, address, true));

    // A file made by hand is mapped with its own size (asking for more is refused:
    // XpSharedMem.SectionOfAnotherProcessMapsWithItsSizeAndAccess); an empty one not at all.
    std::filesystem::create_directories(runDir.path() + "/shm");
    std::ofstream(RunDir::sharedMem("Short")) << std::string(100, 'x');
    EXPECT_EQ(VDAPI_OK, reader->Open("Short", 100, address, true));
    EXPECT_EQ('x', static_cast<const char*>(address)[99]);

    std::ofstream(RunDir::sharedMem("Empty")).flush();
    EXPECT_EQ(VDAPI_E_INTERNAL, reader->Open("Empty", 0, address, true));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, XpSharedMemPosix::Create("Zero", 0));
    EXPECT_EQ(VDAPI_OK, XpSharedMemPosix::Remove("Short"));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, XpSharedMemPosix::Remove("Short"));
}

} // namespace
} // namespace Vdapi
