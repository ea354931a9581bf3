// Named-pipe server on Windows: keeps one instance of the pipe waiting for a client
// (ConnectNamedPipe, overlapped) and hands each connected instance over as a connection.
#pragma once

#include "devices/platform/IXpPipeListener.h"
#include "devices/platform/windows/UniqueHandle.h"

#include <atomic>
#include <string>

namespace Vdapi {

class XpPipeListenerWindows final : public IXpPipeListener {
public:
    XpPipeListenerWindows();
    ~XpPipeListenerWindows() override { Close(); }

    VdResult Create(const char* name) override;
    VdResult Accept(std::unique_ptr<IXpPipeConnection>& connection, uint32_t timeoutMs) override;
    void Stop() override;
    void Close() override;

private:
    /// A new instance of the pipe; the first one also claims the name.
    VdResult newInstance(bool first);
    /// Ends a pending ConnectNamedPipe and waits until the system has let go of it.
    void cancelPendingConnect();

    std::string path_;       ///< empty without a pipe
    UniqueHandle instance_;  ///< the instance a client connects to next
    UniqueHandle connected_; ///< manual-reset, signalled when ConnectNamedPipe ends
    UniqueHandle stopEvent_; ///< manual-reset, raised by Stop, cleared by Close
    OVERLAPPED connect_{};   ///< the pending ConnectNamedPipe, kept across Accept time-outs
    bool connectPending_ = false;
    std::atomic<bool> stopped_{false};
};

} // namespace Vdapi
