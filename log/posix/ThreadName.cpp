// POSIX only. Thread naming through the POSIX thread-name call.
#include "log/ThreadName.h"

#include <pthread.h>

namespace kel {

namespace {
constexpr std::size_t maxThreadNameLength = 15;  // the kernel keeps 16 bytes with the terminator
}

bool setCurrentThreadName(const std::string& name)
{
    const std::string cut = name.substr(0, maxThreadNameLength);
    return pthread_setname_np(pthread_self(), cut.c_str()) == 0;
}

std::string currentThreadName()
{
    char buffer[maxThreadNameLength + 1] = {};
    if (pthread_getname_np(pthread_self(), buffer, sizeof buffer) != 0)
        return {};
    return buffer;
}

}  // namespace kel
