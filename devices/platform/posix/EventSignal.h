// A wake-up signal that poll(2) can wait on (eventfd): raised from any thread, cleared by the owner.
#pragma once

#include "devices/platform/posix/UniqueFd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace Vdapi {

class EventSignal {
public:
    /// Makes the signal (cleared) if there is none yet; false when the system refuses (errno set).
    bool create()
    {
        if (!fd_)
            fd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        return fd_.valid();
    }

    bool valid() const { return fd_.valid(); }

    /// Descriptor that is readable while the signal is raised; -1 before create.
    int fd() const { return fd_.get(); }

    /// Raises the signal; never blocks. Harmless before create.
    void raise() const
    {
        if (!fd_)
            return;
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd_.get(), &one, sizeof(one));
    }

    /// Clears the signal; never blocks. Harmless before create.
    void clear() const
    {
        if (!fd_)
            return;
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(fd_.get(), &count, sizeof(count));
    }

private:
    UniqueFd fd_;
};

} // namespace Vdapi
