// Length-prefixed messages over one local pipe connection: the framing the device service
// speaks on its pipes (2-byte header below 65535 bytes, 8-byte header from there on).
#pragma once

#include "devices/platform/IXpPipeConnection.h"
#include "devices/vde/ServiceProtocol.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Vdapi {

class PipeMessenger {
public:
    /// Time allowed for a payload once its header has arrived (or been written).
    static constexpr uint32_t kPayloadTimeoutMs = 500;
    /// Messages up to this size leave together with their header in one write.
    static constexpr uint32_t kJoinedMessageMax = 512;

    /// Uses a platform pipe connection; maxMessage bounds both directions.
    explicit PipeMessenger(uint32_t maxMessage = ServiceProtocol::kMaxMessage);
    /// Uses the given connection (an in-memory one, for instance); null behaves as a pipe that
    /// never connects.
    PipeMessenger(std::unique_ptr<IXpPipeConnection> pipe, uint32_t maxMessage);
    virtual ~PipeMessenger();
    PipeMessenger(const PipeMessenger&) = delete;
    PipeMessenger& operator=(const PipeMessenger&) = delete;

    /// Discards unread bytes waiting in the pipe. False when not connected.
    virtual bool Flush();
    /// Connects to the pipe called name (platform prefix added below). False on any failure.
    virtual bool Connect(const char* name);
    /// Closes the connection; harmless when closed.
    virtual void Close();
    /// Prepares the connection once; true when already prepared or preparation succeeded.
    virtual bool Init();
    /// Receives one message into out, waiting at most timeoutMs for its header (kXpInfinite:
    /// for ever). A message announcing more than the limit is refused before anything is
    /// allocated. False on any failure, out then empty.
    virtual bool Receive(std::vector<uint8_t>& out, uint32_t timeoutMs);
    /// Ends a pending Receive or Send from another thread.
    virtual void Cancel();
    /// Sends one message: header without time limit, payload within kPayloadTimeoutMs.
    /// False when size exceeds the limit or either write did not complete.
    virtual bool Send(const void* buffer, uint32_t size);

    /// True while the pipe is connected.
    bool IsOpen() const;

private:
    std::unique_ptr<IXpPipeConnection> pipe_;
    uint32_t maxMessage_;
    bool needsInit_ = true;
};

} // namespace Vdapi
