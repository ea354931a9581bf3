// ip::SocketSelector: the set of handles; the wait itself is in posix/ or windows/SocketSelectorWait.cpp.
#include "net/SocketSelector.h"

#include <algorithm>

namespace ip {

void SocketSelector::add(SocketHandle handle)
{
    if (handle == InvalidSocket || contains(handle) || handles_.size() >= MaxSockets)
        return;
    handles_.push_back(handle);
}

void SocketSelector::remove(SocketHandle handle)
{
    handles_.erase(std::remove(handles_.begin(), handles_.end(), handle), handles_.end());
    ready_.erase(std::remove(ready_.begin(), ready_.end(), handle), ready_.end());
}

bool SocketSelector::contains(SocketHandle handle) const
{
    return std::find(handles_.begin(), handles_.end(), handle) != handles_.end();
}

bool SocketSelector::isReady(SocketHandle handle) const
{
    return std::find(ready_.begin(), ready_.end(), handle) != ready_.end();
}

} // namespace ip
