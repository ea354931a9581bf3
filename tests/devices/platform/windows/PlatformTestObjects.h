// Windows side of the platform tests every system runs: kernel object names are machine-wide, so
// each carries this process's id; the concrete pipe client whose connect attempts a test counts,
// mutexes made for Open to find, and another process (this test program started again to run
// the helper case ChildTask.Run) that holds a mutex or publishes a section.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/platform/windows/UniqueHandle.h"
#include "devices/platform/windows/XpPipeConnectionWindows.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace Vdapi::PlatformTest {

/// Names of one test's pipes, mutexes and sections, unique to this process.
class ObjectNames {
public:
    std::string operator()(const std::string& base) const
    {
        return "HalvixTest_" + base + "_" + std::to_string(::GetCurrentProcessId());
    }
};

/// A pipe client that waits only a millisecond between its attempts on a busy pipe.
inline std::unique_ptr<XpPipeConnectionWindows> quickPipe()
{
    return std::make_unique<XpPipeConnectionWindows>(1);
}

/// What a read without time limit returns when cancelled while it waits in the system: the
/// pipe's state is then unknown.
constexpr VdResult kCancelledInSystemWait = VDAPI_E_INTERNAL;

constexpr uint32_t kTakeOverTimeoutMs = 30000;

/// A named mutex made the way its owner makes it, for Open to find while this object lives.
class CreatedMutex {
public:
    explicit CreatedMutex(const std::string& name) : handle_(::CreateMutexA(nullptr, FALSE, name.c_str())) {}
    explicit operator bool() const { return bool(handle_); }

private:
    UniqueHandle handle_;
};

/// What "publish-section" writes at the start of its section.
constexpr char kPublished[] = "published by the other process";
constexpr size_t kPublishedSize = 8192;

// The helper case runs only in the child, which finds its task in these variables.
constexpr char kTaskVar[] = "HALVIX_PLATFORM_CHILD_TASK";
constexpr char kNameVar[] = "HALVIX_PLATFORM_CHILD_NAME";
constexpr DWORD kChildDeadlineMs = 30000;

/// Another process doing one task on the object `name` and keeping it until finish():
/// "hold-mutex" makes the mutex owned (it ends holding it, which abandons it);
/// "publish-section" makes a kPublishedSize-byte section that starts with kPublished. The child
/// signals "<name>_ready" when its object exists and waits for "<name>_go" before it ends.
class OtherProcess {
public:
    OtherProcess(const std::string& task, const std::string& name)
        : ready_(::CreateEventA(nullptr, TRUE, FALSE, (name + "_ready").c_str())),
          go_(::CreateEventA(nullptr, TRUE, FALSE, (name + "_go").c_str()))
    {
        char exe[MAX_PATH];
        const DWORD n = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string command = "\"" + std::string(exe, n) + "\" --gtest_filter=ChildTask.Run";
        ::SetEnvironmentVariableA(kTaskVar, task.c_str());
        ::SetEnvironmentVariableA(kNameVar, name.c_str());
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        if (::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info)) {
            process_.reset(info.hProcess);
            ::CloseHandle(info.hThread);
        }
        ::SetEnvironmentVariableA(kTaskVar, nullptr);
        ::SetEnvironmentVariableA(kNameVar, nullptr);
    }
    ~OtherProcess() { finish(); }

    /// True once the child's object exists (false when it ended first or took too long).
    bool ready()
    {
        if (!process_)
            return false;
        const HANDLE waits[] = {ready_.get(), process_.get()};
        return ::WaitForMultipleObjects(2, waits, FALSE, kChildDeadlineMs) == WAIT_OBJECT_0;
    }

    /// Lets the child end and returns its exit code (-1 when it did not end in time).
    int finish()
    {
        if (!process_)
            return -1;
        ::SetEvent(go_.get());
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(process_.get(), kChildDeadlineMs) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process_.get(), &code);
        else
            ::TerminateProcess(process_.get(), 99);
        process_.reset();
        return code == STILL_ACTIVE ? -1 : int(code);
    }

private:
    UniqueHandle ready_, go_, process_;
};

} // namespace Vdapi::PlatformTest
