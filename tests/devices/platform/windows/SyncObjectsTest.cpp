// Windows mutexes and sections against real kernel objects, some made by a second process
// (this test program started again to run one helper case).
#include "devices/platform/Xp.h"
#include "devices/platform/windows/UniqueHandle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <vector>

namespace Vdapi {
namespace {

// The helper cases run only in the child, which finds its task in these variables.
constexpr char kTaskVar[] = "HALVIX_PLATFORM_CHILD_TASK";
constexpr char kNameVar[] = "HALVIX_PLATFORM_CHILD_NAME";
constexpr DWORD kDeadlineMs = 30000;

std::string uniqueName(const char* base)
{
    return std::string(base) + "_" + std::to_string(::GetCurrentProcessId());
}

/// Starts this program again running only the helper case `task` on the object `name`; the
/// child signals "<name>_ready" when its object exists and waits for "<name>_go" before it ends.
class Child {
public:
    Child(const char* task, const std::string& name)
        : ready_(::CreateEventA(nullptr, TRUE, FALSE, (name + "_ready").c_str())),
          go_(::CreateEventA(nullptr, TRUE, FALSE, (name + "_go").c_str()))
    {
        char exe[MAX_PATH];
        const DWORD n = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string command = "\"" + std::string(exe, n) + "\" --gtest_filter=ChildTask.Run";
        ::SetEnvironmentVariableA(kTaskVar, task);
        ::SetEnvironmentVariableA(kNameVar, name.c_str());
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        if (::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            process_.reset(info.hProcess);
            ::CloseHandle(info.hThread);
        }
        ::SetEnvironmentVariableA(kTaskVar, nullptr);
        ::SetEnvironmentVariableA(kNameVar, nullptr);
    }
    ~Child() { finish(); }

    /// True once the child's object exists (false when it ended first or took too long).
    bool ready()
    {
        if (!process_)
            return false;
        const HANDLE waits[] = {ready_.get(), process_.get()};
        return ::WaitForMultipleObjects(2, waits, FALSE, kDeadlineMs) == WAIT_OBJECT_0;
    }

    /// Lets the child end and returns its exit code (STILL_ACTIVE when it did not end in time).
    DWORD finish()
    {
        if (!process_)
            return STILL_ACTIVE;
        ::SetEvent(go_.get());
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(process_.get(), kDeadlineMs) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process_.get(), &code);
        else
            ::TerminateProcess(process_.get(), 99);
        process_.reset();
        return code;
    }

private:
    UniqueHandle ready_, go_, process_;
};

TEST(ChildTask, Run)
{
    const char* task = std::getenv(kTaskVar);
    const char* name = std::getenv(kNameVar);
    if (task == nullptr || name == nullptr)
        GTEST_SKIP() << "helper of the two-process cases";
    UniqueHandle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(name) + "_ready").c_str()));
    UniqueHandle go(::OpenEventA(SYNCHRONIZE, FALSE, (std::string(name) + "_go").c_str()));
    ASSERT_TRUE(ready && go);
    UniqueHandle object;
    if (std::strcmp(task, "hold-mutex") == 0) {
        // Created owned; the process ends without releasing it, which abandons it.
        object.reset(::CreateMutexA(nullptr, TRUE, name));
    }
    else if (std::strcmp(task, "publish-section") == 0) {
        object.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8192,
                                          (std::string("Global\\") + name).c_str()));
        if (object) {
            void* view = ::MapViewOfFile(object.get(), FILE_MAP_WRITE, 0, 0, 0);
            ASSERT_NE(nullptr, view);
            std::memcpy(view, "published by the child", 23);
            ::UnmapViewOfFile(view);
        }
    }
    ASSERT_TRUE(object) << task;
    ::SetEvent(ready.get());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(go.get(), kDeadlineMs));
    // Ends here: the handles go with the process, an owned mutex is abandoned.
    ::ExitProcess(0);
}

TEST(MutexWindows, InitOnceRecursiveAndOnlyTheOwnerUnlocks)
{
    auto mutex = Xp::NewMutex();
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
    auto other = std::async(std::launch::async, [&] {
        const VdResult locked = mutex->Lock();
        return std::make_pair(locked, mutex->Unlock());
    });
    EXPECT_EQ(std::make_pair(VDAPI_OK, VDAPI_OK), other.get());
    mutex->Close();
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock());
}

TEST(NamedMutexWindows, OpenRefusesBadAndMissingNamesAndExcludesOtherThreads)
{
    auto mutex = Xp::NewNamedMutex();
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock(0));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Unlock());
    EXPECT_EQ(VDAPI_E_INVALID_ARG, mutex->Open(nullptr));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, mutex->Open(""));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, mutex->Open("a/b"));
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, mutex->Open(std::string(100, 'm').c_str()));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, mutex->Open(uniqueName("Absent").c_str()));
    const std::string longest = uniqueName("L") + std::string(99 - uniqueName("L").size(), 'm');
    UniqueHandle created(::CreateMutexA(nullptr, FALSE, longest.c_str()));
    ASSERT_TRUE(created);
    ASSERT_EQ(VDAPI_OK, mutex->Open(longest.c_str()));

    ASSERT_EQ(VDAPI_OK, mutex->Lock(kXpInfinite));
    ASSERT_EQ(VDAPI_OK, mutex->Lock(0));
    auto theirs = Xp::NewNamedMutex();
    ASSERT_EQ(VDAPI_OK, theirs->Open(longest.c_str()));
    auto other =
        std::async(std::launch::async, [&] { return std::make_pair(theirs->Lock(20), theirs->Unlock()); });
    EXPECT_EQ(std::make_pair(VDAPI_E_TIMEOUT, VDAPI_E_NOT_LOCKED), other.get());
    EXPECT_EQ(VDAPI_OK, mutex->Unlock());
    EXPECT_EQ(VDAPI_OK, mutex->Unlock());
    EXPECT_EQ(VDAPI_E_NOT_LOCKED, mutex->Unlock());
    // A failed Open closes what was open before.
    EXPECT_EQ(VDAPI_E_NOT_FOUND, mutex->Open(uniqueName("Absent").c_str()));
    EXPECT_EQ(VDAPI_E_NOT_INITIALIZED, mutex->Lock(0));
}

TEST(NamedMutexWindows, MutexAbandonedByAnotherProcessIsTakenOver)
{
    const std::string name = uniqueName("Abandoned");
    Child child("hold-mutex", name);
    ASSERT_TRUE(child.ready());
    auto mutex = Xp::NewNamedMutex();
    ASSERT_EQ(VDAPI_OK, mutex->Open(name.c_str()));
    EXPECT_EQ(VDAPI_E_TIMEOUT, mutex->Lock(0)); // the child owns it
    EXPECT_EQ(0u, child.finish());
    EXPECT_EQ(VDAPI_OK, mutex->Lock(kDeadlineMs)); // its owner ended holding it
    EXPECT_EQ(VDAPI_OK, mutex->Unlock());
    EXPECT_EQ(VDAPI_E_NOT_LOCKED, mutex->Unlock());
}

TEST(SharedMemWindows, GlobalSectionOfAnotherProcessMapsWithItsSizeAndAccess)
{
    auto section = Xp::NewSharedMem();
    void* address = reinterpret_cast<void*>(1);
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, section->Open(std::string(260, 's').c_str(), 0, address, true));
    EXPECT_EQ(nullptr, address);
    EXPECT_EQ(VDAPI_E_INVALID_ARG, section->Open("", 0, address, true));
    EXPECT_EQ(VDAPI_E_INVALID_ARG, section->Open("a/b", 0, address, true));
    EXPECT_EQ(VDAPI_E_NOT_FOUND, section->Open(uniqueName("Absent").c_str(), 0, address, true));
    EXPECT_EQ(0u, section->Size());

    const std::string name = uniqueName("List");
    Child child("publish-section", name);
    ASSERT_TRUE(child.ready());
    ASSERT_EQ(VDAPI_OK, section->Open(name.c_str(), 64, address, true));
    ASSERT_NE(nullptr, address);
    EXPECT_EQ(64u, section->Size());
    EXPECT_STREQ("published by the child", static_cast<const char*>(address));
    // Larger than the section: refused, nothing stays mapped.
    EXPECT_EQ(VDAPI_E_INTERNAL, section->Open(name.c_str(), 1 << 20, address, true));
    EXPECT_EQ(nullptr, address);
    EXPECT_EQ(0u, section->Size());
    // The whole section, writable: what this process writes the child's section holds.
    ASSERT_EQ(VDAPI_OK, section->Open(name.c_str(), 0, address, false));
    EXPECT_EQ(8192u, section->Size());
    static_cast<char*>(address)[8191] = 'x';
    auto again = Xp::NewSharedMem();
    void* second = nullptr;
    ASSERT_EQ(VDAPI_OK, again->Open(name.c_str(), 0, second, true));
    EXPECT_EQ('x', static_cast<const char*>(second)[8191]);
    section->Close();
    EXPECT_EQ(0u, section->Size());
    EXPECT_EQ(0u, child.finish());
}

} // namespace
} // namespace Vdapi
