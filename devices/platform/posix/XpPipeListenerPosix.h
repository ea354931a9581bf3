// Named-pipe server end on POSIX: a listening Unix stream socket <run dir>/pipe/NAME.
#pragma once

#include "devices/platform/IXpPipeListener.h"
#include "devices/platform/posix/EventSignal.h"
#include "devices/platform/posix/UniqueFd.h"

#include <sys/types.h>

#include <atomic>
#include <string>

namespace Vdapi {

class XpPipeListenerPosix final : public IXpPipeListener {
public:
    /// backlog: clients that may wait for Accept before further connects find the pipe busy.
    explicit XpPipeListenerPosix(int backlog = 16);
    ~XpPipeListenerPosix() override { Close(); }

    VdResult Create(const char* name) override;
    VdResult Accept(std::unique_ptr<IXpPipeConnection>& connection, uint32_t timeoutMs) override;
    void Stop() override;
    void Close() override;

private:
    int backlog_;
    UniqueFd socket_;       ///< listening, non-blocking; invalid without a pipe
    EventSignal stopEvent_; ///< raised by Stop, cleared by Close; made by Create
    std::atomic<bool> stopped_{false};
    std::string path_; ///< socket file we bound, removed by Close if it is still ours
    ino_t inode_ = 0;  ///< inode of that file, so a successor's socket is never removed
};

} // namespace Vdapi
