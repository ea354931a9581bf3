// ip::SocketSelector waits until one of up to 64 sockets has bytes to read.
#pragma once

#include "net/Socket.h"

#include <chrono>
#include <cstddef>
#include <vector>

namespace ip {

/// A read set of at most `MaxSockets` handles. Not thread-safe: one owner uses it.
class SocketSelector {
public:
    static constexpr std::size_t MaxSockets = 64;

    virtual ~SocketSelector() = default;

    /// Adds a handle; ignored when invalid, already present or the set is full.
    void add(SocketHandle handle);
    /// Removes a handle; ignored when absent.
    void remove(SocketHandle handle);
    std::size_t count() const { return handles_.size(); }
    bool contains(SocketHandle handle) const;

    /// Waits up to `timeout` for any handle to be readable (or closed by the peer). Returns the
    /// number of ready handles, 0 on timeout, negative on failure.
    int waitReadable(std::chrono::microseconds timeout);

    /// True when `handle` was ready in the last `waitReadable`.
    bool isReady(SocketHandle handle) const;

private:
    std::vector<SocketHandle> handles_;
    std::vector<SocketHandle> ready_;
};

} // namespace ip
