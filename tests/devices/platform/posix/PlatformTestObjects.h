// POSIX side of the platform tests every system runs: object names below a private run directory,
// the concrete pipe client whose connect attempts a test counts, mutexes made for Open to find,
// and another process (forked) that holds a mutex or publishes a section.
#pragma once

#include "tests/devices/platform/TestRunDir.h"

#include "devices/VdapiResult.h"
#include "devices/platform/posix/UniqueFd.h"
#include "devices/platform/posix/XpNamedMutexPosix.h"
#include "devices/platform/posix/XpPipeConnectionPosix.h"
#include "devices/platform/posix/XpSharedMemPosix.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

namespace Vdapi::PlatformTest {

/// Names of one test's pipes, mutexes and sections; they live in its own run directory.
class ObjectNames {
public:
    std::string operator()(const std::string& base) const { return base; }

private:
    TestSupport::TempRunDir runDir_;
};

/// A pipe client that waits only a millisecond between its attempts on a busy pipe.
inline std::unique_ptr<XpPipeConnectionPosix> quickPipe()
{
    return std::make_unique<XpPipeConnectionPosix>(std::chrono::milliseconds(1));
}

/// What a read without time limit returns when cancelled while it waits in the system.
constexpr VdResult kCancelledInSystemWait = VDAPI_E_CANCELLED;

#if defined(__SANITIZE_THREAD__)
// The thread checker follows an abandoned take-over only through the untimed lock.
constexpr uint32_t kTakeOverTimeoutMs = kXpInfinite;
#else
constexpr uint32_t kTakeOverTimeoutMs = 30000;
#endif

/// A named mutex made the way its owner makes it, for Open to find while this object lives.
class CreatedMutex {
public:
    explicit CreatedMutex(const std::string& name)
        : name_(name), created_(XpNamedMutexPosix::Create(name.c_str()) == VDAPI_OK)
    {
    }
    ~CreatedMutex()
    {
        if (created_)
            XpNamedMutexPosix::Remove(name_.c_str());
    }
    explicit operator bool() const { return created_; }

private:
    std::string name_;
    bool created_;
};

/// What "publish-section" writes at the start of its section.
constexpr char kPublished[] = "published by the other process";
constexpr size_t kPublishedSize = 8192;

/// Another process doing one task on the object `name` and keeping it until finish():
/// "hold-mutex" makes the mutex and locks it (it ends holding it, which abandons it);
/// "publish-section" makes a kPublishedSize-byte section that starts with kPublished.
class OtherProcess {
public:
    OtherProcess(const std::string& task, const std::string& name)
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return;
        UniqueFd ours(fds[0]), theirs(fds[1]);
        pid_ = ::fork();
        if (pid_ == 0) {
            ours.reset();
            const char status = run(task, name) ? 'R' : 'E';
            [[maybe_unused]] ssize_t n = ::write(theirs.get(), &status, 1);
            char go = 0;
            n = ::read(theirs.get(), &go, 1); // returns when the parent closes its end
            ::_exit(0);
        }
        channel_ = std::move(ours);
    }
    ~OtherProcess() { finish(); }

    /// True once the object exists (false when the task failed or took too long).
    bool ready()
    {
        pollfd p{channel_.get(), POLLIN, 0};
        char status = 0;
        return pid_ > 0 && ::poll(&p, 1, 30000) == 1 && ::read(channel_.get(), &status, 1) == 1 &&
               status == 'R';
    }

    /// Lets the process end and returns its exit code (-1 when it did not end normally).
    int finish()
    {
        if (pid_ <= 0)
            return -1;
        channel_.reset();
        int status = 0;
        const bool waited = ::waitpid(pid_, &status, 0) == pid_;
        pid_ = -1;
        return waited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    static bool run(const std::string& task, const std::string& name)
    {
        if (task == "hold-mutex") {
            auto* held = new XpNamedMutexPosix; // never closed: the process ends holding it
            return XpNamedMutexPosix::Create(name.c_str()) == VDAPI_OK &&
                   held->Open(name.c_str()) == VDAPI_OK && held->Lock(kXpInfinite) == VDAPI_OK;
        }
        if (task == "publish-section") {
            XpSharedMemPosix section;
            void* address = nullptr;
            if (XpSharedMemPosix::Create(name.c_str(), kPublishedSize) != VDAPI_OK ||
                section.Open(name.c_str(), 0, address, false) != VDAPI_OK)
                return false;
            std::memcpy(address, kPublished, sizeof kPublished);
            return true;
        }
        return false;
    }

    pid_t pid_ = -1;
    UniqueFd channel_; ///< to the child, which ends once this end closes
};

} // namespace Vdapi::PlatformTest
