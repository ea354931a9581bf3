// POSIX only. ip::SocketSelector's wait over poll(): no descriptor-number limit.
#include "net/SocketSelector.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace ip {

int SocketSelector::waitReadable(std::chrono::microseconds timeout)
{
    ready_.clear();
    pollfd entries[MaxSockets];
    const std::size_t n = handles_.size();
    for (std::size_t i = 0; i < n; ++i)
        entries[i] = pollfd{int(handles_[i]), POLLIN, 0};

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int result = 0;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now() + std::chrono::microseconds(999));
        result = ::poll(entries, nfds_t(n), int(std::clamp<int64_t>(left.count(), 0, INT_MAX)));
        if (result >= 0 || errno != EINTR)
            break;
    }
    if (result <= 0)
        return result < 0 ? -1 : 0;
    for (std::size_t i = 0; i < n; ++i) {
        // A closed or failed socket counts as readable: the receive call reports why.
        if (entries[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))
            ready_.push_back(handles_[i]);
    }
    return int(ready_.size());
}

} // namespace ip
