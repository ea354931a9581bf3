// Windows only. ip::SocketSelector's wait over Winsock's select(): 64 sockets per set (its FD_SETSIZE).
#include "net/SocketSelector.h"

#include "net/windows/SocketApi.h"

#include <algorithm>
#include <climits>
#include <thread>

namespace ip {

static_assert(FD_SETSIZE >= SocketSelector::MaxSockets);

int SocketSelector::waitReadable(std::chrono::microseconds timeout)
{
    ready_.clear();
    if (handles_.empty()) {
        // select() refuses empty sets; an empty selector just waits out its time like poll().
        std::this_thread::sleep_for(std::max(timeout, std::chrono::microseconds(0)));
        return 0;
    }
    fd_set readable, failures;
    FD_ZERO(&readable);
    FD_ZERO(&failures);
    for (const SocketHandle handle : handles_) {
        FD_SET(static_cast<SOCKET>(handle), &readable);
        FD_SET(static_cast<SOCKET>(handle), &failures);
    }
    const int64_t us = std::max<int64_t>(timeout.count(), 0);
    timeval limit{long(std::min<int64_t>(us / 1000000, LONG_MAX)), long(us % 1000000)};
    const int result = ::select(0, &readable, nullptr, &failures, &limit);
    if (result <= 0)
        return result < 0 ? -1 : 0;
    for (const SocketHandle handle : handles_) {
        // A closed or failed socket counts as readable: the receive call reports why.
        if (FD_ISSET(static_cast<SOCKET>(handle), &readable) || FD_ISSET(static_cast<SOCKET>(handle), &failures))
            ready_.push_back(handle);
    }
    return int(ready_.size());
}

} // namespace ip
