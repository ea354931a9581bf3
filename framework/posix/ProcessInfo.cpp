// POSIX only. Linux side of the process facts: getpid, /proc/self/exe and sched_setaffinity.
#include "framework/ProcessInfo.h"

#include <dirent.h>
#include <sched.h>

#include <cstdlib>
#include <unistd.h>

namespace kel::process {

int64_t currentId()
{
    return static_cast<int64_t>(::getpid());
}

std::string executablePath()
{
    // The path is read with a bounded buffer like the wide-character path of at most 1024
    // characters on the product's home platform; a longer (truncated) path counts as unreadable.
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || size_t(n) >= sizeof buffer)
        return {};
    return std::string(buffer, size_t(n));
}

bool setAffinityMask(uint64_t mask)
{
    if (mask == 0)
        return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    for (unsigned cpu = 0; cpu < 64 && cpu < CPU_SETSIZE; ++cpu) {
        if (mask >> cpu & 1)
            CPU_SET(cpu, &set);
    }
    // On Linux the mask belongs to each thread: set it on the caller first (that answer
    // decides), then on every other thread of the process; new threads inherit it.
    if (::sched_setaffinity(0, sizeof set, &set) != 0)
        return false;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(tasks)) {
            const long tid = std::strtol(entry->d_name, nullptr, 10);
            if (tid > 0)
                ::sched_setaffinity(pid_t(tid), sizeof set, &set); // a thread may end meanwhile
        }
        ::closedir(tasks);
    }
    return true;
}

} // namespace kel::process
