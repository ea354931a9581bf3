// Shared-memory sections: real files below a private run dir, mapped by two objects.
#include "TestRunDir.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/XpSharedMemPosix.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace Vdapi {
namespace {

class SharedMemTest : public ::testing::Test {
protected:
    TestSupport::TempRunDir runDir;
};

TEST_F(SharedMemTest, WriterAndReaderSeeTheSameBytes)
{
    ASSERT_EQ(VDAPI_OK, XpSharedMemPosix::Create("DeviceList", 20504));
    auto writer = Xp::NewSharedMem();
    auto reader = Xp::NewSharedMem();
    void* w = nullptr;
    void* r = nullptr;
    ASSERT_EQ(VDAPI_OK, writer->Open("DeviceList", 20504, w, false));
    ASSERT_EQ(VDAPI_OK, reader->Open("DeviceList", 20504, r, true));
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(20504u, reader->Size());
    EXPECT_EQ(0, static_cast<const uint8_t*>(r)[20503]); // created zero-filled

    const uint32_t version = 1;
    std::memcpy(static_cast<uint8_t*>(w) + 20500, &version, 4);
    uint32_t seen = 0;
    std::memcpy(&seen, static_cast<const uint8_t*>(r) + 20500, 4);
    EXPECT_EQ(1u, seen);

    // Creating it again keeps the existing section and its contents.
    ASSERT_EQ(VDAPI_OK, XpSharedMemPosix::Create("DeviceList", 64));
    void* again = nullptr;
    ASSERT_EQ(VDAPI_OK, reader->Open("DeviceList", 0, again, true)); // size 0: all of it
    EXPECT_EQ(20504u, reader->Size());
    std::memcpy(&seen, static_cast<const uint8_t*>(again) + 20500, 4);
    EXPECT_EQ(1u, seen);
    reader->Close();
    EXPECT_EQ(0u, reader->Size());
}

TEST_F(SharedMemTest, NamesAndMissingOrShortSectionsAreRefused)
{
    auto section = Xp::NewSharedMem();
    void* address = reinterpret_cast<void*>(1);
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, section->Open(std::string(260, 's').c_str(), 16, address, true));
    EXPECT_EQ(nullptr, address);
    EXPECT_EQ(VDAPI_E_INVALID_ARG, section->Open("../x", 16, address, true));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, section->Open("Missing", 16, address, true));
    // This file system stores at most 255 bytes per name; longer names cannot exist here.
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, section->Open(std::string(259, 's').c_str(), 16, address, true));

    // A section shorter than asked is never mapped past its end.
    std::filesystem::create_directories(runDir.path() + "/shm");
    std::ofstream(RunDir::sharedMem("Short")) << std::string(100, 'x');
    EXPECT_EQ(VDAPI_E_INTERNAL, section->Open("Short", 20504, address, true));
    EXPECT_EQ(nullptr, address);
    EXPECT_EQ(0u, section->Size());
    EXPECT_EQ(VDAPI_OK, section->Open("Short", 100, address, true));
    EXPECT_EQ('x', static_cast<const char*>(address)[99]);

    std::ofstream(RunDir::sharedMem("Empty")).flush();
    EXPECT_EQ(VDAPI_E_INTERNAL, section->Open("Empty", 0, address, true));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, XpSharedMemPosix::Create("Zero", 0));
    EXPECT_EQ(VDAPI_OK, XpSharedMemPosix::Remove("Short"));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, XpSharedMemPosix::Remove("Short"));
}

} // namespace
} // namespace Vdapi
