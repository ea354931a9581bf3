// Named mutex and process-local mutex: real mapped files, threads, and a second process.
#include "TestRunDir.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/UniqueFd.h"
#include "devices/platform/posix/XpNamedMutexPosix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>

namespace Vdapi {
namespace {

using namespace std::chrono_literals;

class NamedMutexTest : public ::testing::Test {
protected:
    TestSupport::TempRunDir runDir;
};

TEST_F(NamedMutexTest, CreatedMutexOpensLocksRecursivelyAndExcludesOthers)
{
    ASSERT_EQ(VDAPI_OK, XpNamedMutexPosix::Create("ListLock"));
    ASSERT_EQ(VDAPI_OK, XpNamedMutexPosix::Create("ListLock")); // existing one is kept
    auto mine = Xp::NewNamedMutex();
    auto theirs = Xp::NewNamedMutex();
    ASSERT_EQ(VDAPI_OK, mine->Open("ListLock"));
    ASSERT_EQ(VDAPI_OK, theirs->Open("ListLock"));

    ASSERT_EQ(VDAPI_OK, mine->Lock(kXpInfinite));
    ASSERT_EQ(VDAPI_OK, mine->Lock(0)); // recursive for the owner
    // Another thread, through its own mapping of the same file, cannot take it nor release it.
    auto other =
        std::async(std::launch::async, [&] { return std::make_pair(theirs->Lock(20), theirs->Unlock()); });
    const auto [lockResult, unlockResult] = other.get();
    EXPECT_EQ(VDAPI_E_TIMEOUT, lockResult);
    EXPECT_EQ(VDAPI_E_NOT_LOCKED, unlockResult);

    EXPECT_EQ(VDAPI_OK, mine->Unlock());
    EXPECT_EQ(VDAPI_OK, mine->Unlock());
    EXPECT_EQ(VDAPI_E_NOT_LOCKED, mine->Unlock());
    auto later = std::async(std::launch::async, [&] {
        const VdResult r = theirs->Lock(10000);
        return std::make_pair(r, theirs->Unlock());
    });
    EXPECT_EQ(std::make_pair(VDAPI_OK, VDAPI_OK), later.get());
}

TEST_F(NamedMutexTest, OpenRefusesBadNamesMissingAndUnfinishedFiles)
{
    auto mutex = Xp::NewNamedMutex();
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock(0));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Unlock());
    EXPECT_EQ(VDAPI_E_NOT_FOUND, mutex->Open("Absent"));
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, mutex->Open(std::string(100, 'm').c_str()));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, mutex->Open("a/b"));
    ASSERT_EQ(VDAPI_OK, XpNamedMutexPosix::Create(std::string(99, 'm').c_str()));
    EXPECT_EQ(VDAPI_OK, mutex->Open(std::string(99, 'm').c_str()));

    // A truncated file is not mapped (touching past its end would fault); a file whose creator
    // has not marked it ready is not a mutex yet.
    std::filesystem::create_directories(runDir.path() + "/mutex");
    std::ofstream(RunDir::mutex("Short")) << "tiny";
    EXPECT_EQ(VDAPI_E_NOT_FOUND, mutex->Open("Short"));
    std::ofstream(RunDir::mutex("Unready")) << std::string(sizeof(RunDir::NamedMutexFile), '\0');
    EXPECT_EQ(VDAPI_E_NOT_FOUND, mutex->Open("Unready"));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock(0)); // a failed Open leaves it closed

    EXPECT_EQ(VDAPI_OK, XpNamedMutexPosix::Remove(std::string(99, 'm').c_str()));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, XpNamedMutexPosix::Remove(std::string(99, 'm').c_str()));
}

/// Polls fd for one byte for at most ten seconds.
bool readByte(int fd, char& byte)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 10000) == 1 && ::read(fd, &byte, 1) == 1;
}

#if defined(__SANITIZE_THREAD__)
// The thread checker follows an abandoned take-over only through the untimed lock.
constexpr uint32_t kTakeOverTimeout = kXpInfinite;
#else
constexpr uint32_t kTakeOverTimeout = 10000;
#endif

TEST_F(NamedMutexTest, MutexOfAProcessThatDiedHoldingItIsTakenOver)
{
    ASSERT_EQ(VDAPI_OK, XpNamedMutexPosix::Create("Abandoned"));
    int fds[4];
    ASSERT_EQ(0, ::pipe(fds));
    ASSERT_EQ(0, ::pipe(fds + 2));
    UniqueFd fromChild(fds[0]), toParent(fds[1]), fromParent(fds[2]), toChild(fds[3]);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other process: take the mutex, say so, and die holding it when told.
        fromChild.reset();
        toChild.reset();
        XpNamedMutexPosix held;
        const char status =
            held.Open("Abandoned") == VDAPI_OK && held.Lock(kXpInfinite) == VDAPI_OK ? 'L' : 'E';
        [[maybe_unused]] ssize_t n = ::write(toParent.get(), &status, 1);
        char go = 0;
        n = ::read(fromParent.get(), &go, 1); // returns when the parent closes its end
        ::_exit(0);
    }
    toParent.reset();
    fromParent.reset();
    char status = 0;
    const bool reported = readByte(fromChild.get(), status);
    if (!reported || status != 'L') {
        toChild.reset();
        ::waitpid(child, nullptr, 0);
        FAIL() << "the other process did not take the mutex";
    }

    XpNamedMutexPosix mutex;
    ASSERT_EQ(VDAPI_OK, mutex.Open("Abandoned"));
    EXPECT_EQ(VDAPI_E_TIMEOUT, mutex.Lock(10)); // held by a live process

    toChild.reset(); // let the child exit without unlocking
    ASSERT_EQ(child, ::waitpid(child, nullptr, 0));

    EXPECT_EQ(VDAPI_OK, mutex.Lock(kTakeOverTimeout));
    EXPECT_EQ(VDAPI_OK, mutex.Unlock());
    // After the take-over the mutex is consistent again: usable by everyone as before.
    XpNamedMutexPosix another;
    ASSERT_EQ(VDAPI_OK, another.Open("Abandoned"));
    EXPECT_EQ(VDAPI_OK, another.Lock(1000));
    EXPECT_EQ(VDAPI_OK, another.Unlock());
}

TEST(XpMutex, InitOnceLockRecursiveOwnerOnlyUnlock)
{
    auto mutex = Xp::NewMutex();
    ASSERT_TRUE(mutex);
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock());
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Unlock());
    ASSERT_EQ(VDAPI_OK, mutex->Init());
    EXPECT_EQ(VDAPI_E_IN_USE, mutex->Init());

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

} // namespace
} // namespace Vdapi
