// Framing of device-service pipe messages, with every announced length checked before use.
#include "devices/vde/PipeMessenger.h"

#include "devices/platform/Xp.h"

#include <cstring>

namespace Vdapi {

namespace SP = ServiceProtocol;

PipeMessenger::PipeMessenger(uint32_t maxMessage) : PipeMessenger(Xp::NewPipeConnection(), maxMessage) {}

PipeMessenger::PipeMessenger(std::unique_ptr<IXpPipeConnection> pipe, uint32_t maxMessage)
    : pipe_(std::move(pipe)), maxMessage_(maxMessage)
{
}

PipeMessenger::~PipeMessenger() { Close(); }

bool PipeMessenger::Flush() { return pipe_ && isSuccess(pipe_->Flush()); }

bool PipeMessenger::Connect(const char* name) { return pipe_ && isSuccess(pipe_->Connect(name)); }

void PipeMessenger::Close()
{
    if (pipe_) pipe_->Close();
}

bool PipeMessenger::Init()
{
    if (!needsInit_) return true;
    if (!pipe_ || !isSuccess(pipe_->Init())) return false;
    needsInit_ = false;
    return true;
}

bool PipeMessenger::Receive(std::vector<uint8_t>& out, uint32_t timeoutMs)
{
    out.clear();
    if (!pipe_) return false;
    uint8_t header[SP::kLongHeaderSize] = {};
    if (!isSuccess(pipe_->Read(header, SP::kShortHeaderSize, timeoutMs))) return false;
    uint32_t length = SP::shortHeaderLength(header);
    if (SP::isLongHeader(header)) {
        if (!isSuccess(pipe_->Read(header + SP::kShortHeaderSize, SP::kLongHeaderSize - SP::kShortHeaderSize,
                                   kPayloadTimeoutMs)))
            return false;
        length = SP::longHeaderLength(header);
    }
    if (length > maxMessage_) {
        VDAPI_LOG(Warning, "pipe message of %u bytes refused (limit %u)", length, maxMessage_);
        return false;
    }
    try {
        out.resize(length);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (length > 0 && !isSuccess(pipe_->Read(out.data(), length, kPayloadTimeoutMs))) {
        out.clear();
        return false;
    }
    return true;
}

void PipeMessenger::Cancel()
{
    if (pipe_) pipe_->Cancel();
}

bool PipeMessenger::Send(const void* buffer, uint32_t size)
{
    if (!pipe_ || size > maxMessage_ || (size > 0 && buffer == nullptr)) return false;
    uint8_t header[SP::kLongHeaderSize];
    const size_t headerSize = SP::encodeFrameHeader(size, header);
    // Header and message leave in one write where they are small (every request is): the
    // service then reads a whole request at once.
    uint8_t joined[SP::kLongHeaderSize + kJoinedMessageMax];
    if (size <= kJoinedMessageMax) {
        std::memcpy(joined, header, headerSize);
        if (size > 0) std::memcpy(joined + headerSize, buffer, size);
        return isSuccess(pipe_->Write(joined, uint32_t(headerSize + size), kXpInfinite));
    }
    if (!isSuccess(pipe_->Write(header, uint32_t(headerSize), kXpInfinite))) return false;
    return isSuccess(pipe_->Write(buffer, size, kPayloadTimeoutMs));
}

bool PipeMessenger::IsOpen() const { return pipe_ && pipe_->IsOpen(); }

} // namespace Vdapi
