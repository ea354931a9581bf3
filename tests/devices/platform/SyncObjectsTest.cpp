// Mutexes and shared-memory sections through the platform facade, alike on every system: threads
// of this process, and another process that holds a mutex or publishes a section.
#include "PlatformTestObjects.h" // posix/ or windows/, chosen by the build

#include "devices/platform/Xp.h"

#include <gtest/gtest.h>

#include <future>
#include <string>

namespace Vdapi {
namespace {

TEST(XpMutex, InitOnceLockRecursiveOwnerOnlyUnlock)
{
    auto mutex = Xp::NewMutex();
    ASSERT_TRUE(mutex);
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock());
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Unlock());
    ASSERT_EQ(VDAPI_OK, mutex->Init());
    EXPECT_EQ(VDAPI_E_IN_USE, mutex->Init());
    EXPECT_EQ(VDAPI_E_NOT_LOCKED, mutex->Unlock());

    ASSERT_EQ(VDAPI_OK, mutex->Lock());
    ASSERT_EQ(VDAPI_OK, mutex->Lock());
    EXPECT_EQ(VDAPI_E_NOT_LOCKED, std::async(std::launch::async, [&] { return mutex->Unlock(); }).get());
    EXPECT_EQ(VDAPI_OK, mutex->Unlock());
    EXPECT_EQ(VDAPI_OK, mutex->Unlock());
    EXPECT_EQ(VDAPI_E_NOT_LOCKED, mutex->Unlock());

    // Serialises threads: a read-modify-write under the lock never loses an increment.
    int counter = 0;
    auto worker = [&] {
        for (int i = 0; i < 10000; ++i) {
            mutex->Lock();
            const int seen = counter;
            counter = seen + 1;
            mutex->Unlock();
        }
    };
    auto a = std::async(std::launch::async, worker);
    auto b = std::async(std::launch::async, worker);
    a.get();
    b.get();
    EXPECT_EQ(20000, counter);

    mutex->Close();
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock());
    EXPECT_EQ(VDAPI_OK, mutex->Init()); // can be made again after Close
}

TEST(XpNamedMutex, OpenRefusesBadAndMissingNamesAndTheOwnerExcludesOtherThreads)
{
    const PlatformTest::ObjectNames names;
    auto mutex = Xp::NewNamedMutex();
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock(0));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Unlock());
    EXPECT_EQ(VDAPI_E_INVALID_ARG, mutex->Open(nullptr));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, mutex->Open(""));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, mutex->Open("a/b"));
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, mutex->Open(std::string(100, 'm').c_str()));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, mutex->Open(names("Absent").c_str()));
    std::string longest = names("L");
    longest += std::string(99 - longest.size(), 'm');
    const PlatformTest::CreatedMutex created(longest);
    ASSERT_TRUE(created);
    ASSERT_EQ(VDAPI_OK, mutex->Open(longest.c_str()));

    ASSERT_EQ(VDAPI_OK, mutex->Lock(kXpInfinite));
    ASSERT_EQ(VDAPI_OK, mutex->Lock(0)); // recursive for the owner
    // Another thread, through its own object for the same mutex, can neither take it nor release it.
    auto theirs = Xp::NewNamedMutex();
    ASSERT_EQ(VDAPI_OK, theirs->Open(longest.c_str()));
    auto other =
        std::async(std::launch::async, [&] { return std::make_pair(theirs->Lock(20), theirs->Unlock()); });
    EXPECT_EQ(std::make_pair(VDAPI_E_TIMEOUT, VDAPI_E_NOT_LOCKED), other.get());
    EXPECT_EQ(VDAPI_OK, mutex->Unlock());
    EXPECT_EQ(VDAPI_OK, mutex->Unlock());
    EXPECT_EQ(VDAPI_E_NOT_LOCKED, mutex->Unlock());
    auto later = std::async(std::launch::async, [&] {
        const VdResult r = theirs->Lock(10000);
        return std::make_pair(r, theirs->Unlock());
    });
    EXPECT_EQ(std::make_pair(VDAPI_OK, VDAPI_OK), later.get());

    // A failed Open closes what was open before.
    EXPECT_EQ(VDAPI_E_NOT_FOUND, mutex->Open(names("Absent").c_str()));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock(0));
}

TEST(XpNamedMutex, MutexOfAProcessThatEndedHoldingItIsTakenOver)
{
    const PlatformTest::ObjectNames names;
    const std::string name = names("Abandoned");
    PlatformTest::OtherProcess other("hold-mutex", name);
    ASSERT_TRUE(other.ready()) << "the other process did not take the mutex";
    auto mutex = Xp::NewNamedMutex();
    ASSERT_EQ(VDAPI_OK, mutex->Open(name.c_str()));
    EXPECT_EQ(VDAPI_E_TIMEOUT, mutex->Lock(10)); // held by a live process

    EXPECT_EQ(0, other.finish()); // it ends without unlocking
    EXPECT_EQ(VDAPI_OK, mutex->Lock(PlatformTest::kTakeOverTimeoutMs));
    EXPECT_EQ(VDAPI_OK, mutex->Unlock());
    EXPECT_EQ(VDAPI_E_NOT_LOCKED, mutex->Unlock());
    // After the take-over the mutex is consistent again: usable by everyone as before.
    auto another = Xp::NewNamedMutex();
    ASSERT_EQ(VDAPI_OK, another->Open(name.c_str()));
    EXPECT_EQ(VDAPI_OK, another->Lock(10000));
    EXPECT_EQ(VDAPI_OK, another->Unlock());
}

TEST(XpSharedMem, SectionOfAnotherProcessMapsWithItsSizeAndAccess)
{
    const PlatformTest::ObjectNames names;
    auto section = Xp::NewSharedMem();
    void* address = reinterpret_cast<void*>(1);
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, section->Open(std::string(260, 's').c_str(), 16, address, true));
    EXPECT_EQ(nullptr, address);
    EXPECT_EQ(VDAPI_E_INVALID_ARG, section->Open("", 16, address, true));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, section->Open("a/b", 16, address, true));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, section->Open(names("Absent").c_str(), 16, address, true));
    EXPECT_EQ(0u, section->Size());

    const std::string name = names("List");
    PlatformTest::OtherProcess other("publish-section", name);
    ASSERT_TRUE(other.ready());
    ASSERT_EQ(VDAPI_OK, section->Open(name.c_str(), 64, address, true));
    ASSERT_NE(nullptr, address);
    EXPECT_EQ(64u, section->Size());
    EXPECT_STREQ(PlatformTest::kPublished, static_cast<const char*>(address));
    // Larger than the section: refused, nothing stays mapped.
    EXPECT_EQ(VDAPI_E_INTERNAL, section->Open(name.c_str(), 1 << 20, address, true));
    EXPECT_EQ(nullptr, address);
    EXPECT_EQ(0u, section->Size());
    // The whole section (size 0), writable: another mapping of it sees what this one writes.
    ASSERT_EQ(VDAPI_OK, section->Open(name.c_str(), 0, address, false));
    EXPECT_EQ(PlatformTest::kPublishedSize, section->Size());
    static_cast<char*>(address)[PlatformTest::kPublishedSize - 1] = 'x';
    auto again = Xp::NewSharedMem();
    void* second = nullptr;
    ASSERT_EQ(VDAPI_OK, again->Open(name.c_str(), 0, second, true));
    EXPECT_EQ('x', static_cast<const char*>(second)[PlatformTest::kPublishedSize - 1]);
    EXPECT_EQ(0, static_cast<const char*>(second)[PlatformTest::kPublishedSize - 2]); // made zero-filled
    section->Close();
    EXPECT_EQ(0u, section->Size());
    EXPECT_EQ(0, other.finish());
}

} // namespace
} // namespace Vdapi
