// Kernel-driver handle on POSIX: open by interface index or legacy name, bounded requests.
#include "devices/platform/posix/XpDriverPosix.h"

#include "devices/platform/Xp.h"
#include "devices/platform/CatchAllocation.h"
#include "devices/platform/DriverPath.h"
#include "devices/platform/posix/DriverWire.h"
#include "devices/platform/posix/ErrnoResult.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/UnixSocket.h"

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Vdapi {

namespace {

/// Index named by a directory entry: decimal without leading zeros, below the class limit; -1 otherwise.
int interfaceIndex(const char* name)
{
    int value = 0;
    int digits = 0;
    for (const char* p = name; *p != '\0'; ++p, ++digits) {
        if (*p < '0' || *p > '9' || digits >= 2)
            return -1;
        value = value * 10 + (*p - '0');
    }
    if (digits == 0 || (digits > 1 && name[0] == '0') || value >= kMaxDriverInterfaces)
        return -1;
    return value;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

FastChannelPolicy FastChannelPolicy::FromEnvironment()
{
    FastChannelPolicy policy;
    if (const char* env = std::getenv("VDAPI_DRIVER_FAST"); env != nullptr && *env != '\0') {
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        if (*end == '\0' && n == 0)
            policy.afterRequests = -1;
        else if (*end == '\0' && n >= 1 && n <= 1000)
            policy.afterRequests = static_cast<int>(n - 1);
    }
    return policy;
}

VdResult XpDriverPosix::Open(int index, bool /*overlapped*/, bool /*shared*/)
{
    // Requests are synchronous on this system, and exclusivity is arbitrated by the driver per
    // function block, so neither flag changes how the socket is opened.
    return CatchAllocation([&]() -> VdResult {
        Close();
        if (index < 0 || index >= kMaxDriverInterfaces)
            return VDAPI_E_INVALID_ARG;
        return openPath(RunDir::driverInterface(DriverClassGuid(driverClass_), static_cast<unsigned>(index)));
    });
}

VdResult XpDriverPosix::OpenLegacy(int index, bool /*shared*/)
{
    return CatchAllocation([&]() -> VdResult {
        Close();
        if (index < 0 || index >= kMaxDriverInterfaces)
            return VDAPI_E_INVALID_ARG;
        return openPath(RunDir::legacyDriver(LegacyDriverName(index)));
    });
}

VdResult XpDriverPosix::openPath(const std::string& path)
{
    if (VdResult r = CheckDriverPathLength(path.size()); !isSuccess(r))
        return r;
    UnixSocketAddress address;
    if (VdResult r = address.assign(path); !isSuccess(r))
        return r == VDAPI_E_INTERNAL ? VDAPI_E_NO_PERMISSION : r; // the folder's errno, mapped
    // An enumeration tries every interface index and most are absent: one look-up of the path
    // answers those, where a socket, a connect and a close would cost three system calls.
    struct stat entry {};
    if (::stat(path.c_str(), &entry) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return VDAPI_E_NOT_FOUND;
    UniqueFd s = NewUnixStreamSocket(false);
    if (!s)
        return ResultFromErrno(errno, VDAPI_E_NO_PERMISSION, "socket");
    while (::connect(s.get(), address.get(), address.length()) != 0) {
        const int err = errno;
        if (err == EINTR)
            continue;
        if (err == ENOENT || err == ENOTDIR)
            return VDAPI_E_NOT_FOUND;
        // Present but unusable (no one serving it, no access, ...): the raw reason goes to the log.
        return ResultFromErrno(err, VDAPI_E_NO_PERMISSION, "open driver interface");
    }
    socket_ = std::move(s);
    requestsSent_ = 0;
    slotAsked_ = false;
    batchRefused_ = false;
    slotSeq_ = 0;
    if (policy_.afterRequests == 0 && !negotiateSlot())
        return VDAPI_E_NO_PERMISSION;
    return VDAPI_OK;
}

bool XpDriverPosix::negotiateSlot()
{
    slotAsked_ = true;
    uint8_t request[DriverWire::kRequestHeaderSize + DriverWire::kNegotiateSize];
    uint8_t header[DriverWire::kRequestHeaderSize];
    DriverWire::encode(DriverWire::RequestHeader{DriverWire::kNegotiateFastChannel, DriverWire::kNegotiateSize,
                                                 DriverWire::kNegotiateSize},
                       header);
    std::memcpy(request, header, sizeof header);
    const uint32_t wanted = std::clamp<uint32_t>(policy_.slotCapacity, 1, DriverWire::kMaxPayload);
    DriverWire::putU32(request + DriverWire::kRequestHeaderSize, DriverWire::kSlotVersion);
    DriverWire::putU32(request + DriverWire::kRequestHeaderSize + 4, wanted);
    if (!sendAll(request, sizeof request)) {
        brokenExchange("driver gone while asking for a slot", DriverWire::kNegotiateFastChannel);
        return false;
    }

    // The reply header may carry the slot's file.
    uint8_t replyBytes[DriverWire::kReplyHeaderSize];
    UniqueFd slotFile;
    const ssize_t n = ReceiveWithDescriptor(socket_.get(), replyBytes, sizeof replyBytes, slotFile);
    if (n <= 0 ||
        (static_cast<size_t>(n) < sizeof replyBytes && !receiveAll(replyBytes + n, sizeof replyBytes - size_t(n)))) {
        brokenExchange("driver gone while granting a slot", DriverWire::kNegotiateFastChannel);
        return false;
    }
    const DriverWire::ReplyHeader reply = DriverWire::decodeReply(replyBytes);
    if (reply.outputLength > DriverWire::kNegotiateSize) {
        brokenExchange("slot grant announces more output than asked", DriverWire::kNegotiateFastChannel);
        return false;
    }
    uint8_t grant[DriverWire::kNegotiateSize] = {};
    if (!receiveAll(grant, reply.outputLength)) {
        brokenExchange("slot grant cut short", DriverWire::kNegotiateFastChannel);
        return false;
    }
    if (reply.windowsError != 0 || !slotFile)
        return true; // refused: the socket path goes on
    const uint32_t granted = DriverWire::getU32(grant + 4);
    if (reply.outputLength != DriverWire::kNegotiateSize || DriverWire::getU32(grant) != DriverWire::kSlotVersion ||
        granted > wanted || !slot_.Attach(slotFile.get(), granted)) {
        // The driver has moved this connection to a slot we cannot use: the handle is lost.
        brokenExchange("the slot granted is not usable", DriverWire::kNegotiateFastChannel);
        return false;
    }
    slotSeq_ = slot_.Load(DriverWire::kSlotRequestSeqAt);
    return true;
}

bool XpDriverPosix::driverStillThere() const
{
    // After the grant the driver never writes to the socket: readable means closed.
    pollfd p{socket_.get(), POLLIN, 0};
    const int n = ::poll(&p, 1, 0);
    return n == 0 || (n < 0 && errno == EINTR);
}

bool XpDriverPosix::exchangeAll(bool sending, uint8_t* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t n = sending ? ::send(socket_.get(), bytes, length, MSG_NOSIGNAL)
                                  : ::recv(socket_.get(), bytes, length, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

VdResult XpDriverPosix::brokenExchange(const char* what, uint32_t code)
{
    VDAPI_LOG(Warning, "driver request 0x%08X: %s; handle closed", code, what);
    Close();
    return VDAPI_E_COMMUNICATION;
}

VdResult XpDriverPosix::Request(uint32_t code, const void* input, uint32_t inputSize, void* output,
                                uint32_t outputCapacity, uint32_t* returnedSize, uint32_t* windowsError)
{
    if (returnedSize != nullptr)
        *returnedSize = 0;
    if (windowsError != nullptr)
        *windowsError = 0;
    if (!socket_)
        return VDAPI_E_DEV_DRIVER;
    if ((input == nullptr && inputSize > 0) || (output == nullptr && outputCapacity > 0))
        return VDAPI_E_INVALID_BUF;
    if (inputSize > DriverWire::kMaxPayload)
        return VDAPI_E_BUF_TOO_LARGE;
    // A larger buffer than the wire allows is fine; the driver just never fills more.
    const uint32_t capacity = std::min(outputCapacity, DriverWire::kMaxPayload);
    if (!slot_.Valid() && !slotAsked_ && policy_.afterRequests >= 0 && requestsSent_ >= policy_.afterRequests &&
        !negotiateSlot())
        return VDAPI_E_COMMUNICATION;
    if (slot_.Valid())
        return slotRequest(code, input, inputSize, output, capacity, returnedSize, windowsError);
    ++requestsSent_;
    return socketRequest(code, input, inputSize, output, capacity, returnedSize, windowsError);
}

VdResult XpDriverPosix::socketRequest(uint32_t code, const void* input, uint32_t inputSize, void* output,
                                      uint32_t capacity, uint32_t* returnedSize, uint32_t* windowsError)
{
    namespace DW = DriverWire;
    uint8_t header[DW::kRequestHeaderSize];
    DW::encode(DW::RequestHeader{code, inputSize, capacity}, header);
    if (!sendRequest(header, input, inputSize))
        return brokenExchange("driver gone while sending", code);

    // Header and output are received together where the answer has arrived whole; nothing
    // follows an answer, so reading up to the room given never takes bytes of another one.
    uint8_t replyBytes[DW::kReplyHeaderSize];
    auto* out = static_cast<uint8_t*>(output);
    size_t got = 0;
    // The driver answers within microseconds: looking again for a short while is cheaper than
    // sleeping and being woken.
    const auto spinEnd = std::chrono::steady_clock::now() + std::chrono::microseconds(policy_.spinMicros);
    while (got < sizeof replyBytes) {
        ssize_t n = receiveReply(replyBytes, out, got, sizeof replyBytes + capacity, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (std::chrono::steady_clock::now() < spinEnd)
                continue;
            n = receiveReply(replyBytes, out, got, sizeof replyBytes + capacity);
        }
        if (n <= 0)
            return brokenExchange("driver gone before replying", code);
        got += size_t(n);
    }
    const DW::ReplyHeader reply = DW::decodeReply(replyBytes);
    // The announced length is checked before the rest of it is read.
    if (reply.outputLength > capacity)
        return brokenExchange("reply announces more output than the room given", code);
    const size_t expected = sizeof replyBytes + reply.outputLength;
    if (got > expected)
        return brokenExchange("reply carries more output than it announces", code);
    while (got < expected) {
        const ssize_t n = receiveReply(replyBytes, out, got, expected);
        if (n <= 0)
            return brokenExchange("reply output cut short", code);
        got += size_t(n);
    }

    if (returnedSize != nullptr)
        *returnedSize = reply.outputLength;
    if (windowsError != nullptr)
        *windowsError = reply.windowsError;
    return DriverErrorToResult(reply.windowsError);
}

bool XpDriverPosix::sendRequest(const uint8_t (&header)[DriverWire::kRequestHeaderSize], const void* input,
                                uint32_t inputSize)
{
    iovec parts[2] = {{const_cast<uint8_t*>(header), sizeof header}, {const_cast<void*>(input), inputSize}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = inputSize > 0 ? 2 : 1;
    ssize_t n;
    do
        n = ::sendmsg(socket_.get(), &message, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return false;
    // A short send (a large input) finishes piece by piece.
    const size_t sent = size_t(n);
    if (sent < sizeof header)
        return sendAll(header + sent, sizeof header - sent) && sendAll(input, inputSize);
    const size_t inputSent = sent - sizeof header;
    return sendAll(static_cast<const uint8_t*>(input) + inputSent, inputSize - inputSent);
}

ssize_t XpDriverPosix::receiveReply(uint8_t (&header)[DriverWire::kReplyHeaderSize], uint8_t* output, size_t from,
                                    size_t to, int flags)
{
    // Bytes 0..7 of the answer land in the header, the rest in the output.
    iovec parts[2];
    msghdr message{};
    message.msg_iov = parts;
    if (from < sizeof header) {
        parts[0] = {header + from, sizeof header - from};
        parts[1] = {output, to - sizeof header};
        message.msg_iovlen = to > sizeof header ? 2 : 1;
    } else {
        parts[0] = {output + (from - sizeof header), to - from};
        message.msg_iovlen = 1;
    }
    ssize_t n;
    do
        n = ::recvmsg(socket_.get(), &message, flags);
    while (n < 0 && errno == EINTR);
    return n;
}

VdResult XpDriverPosix::slotRequest(uint32_t code, const void* input, uint32_t inputSize, void* output,
                                    uint32_t capacity, uint32_t* returnedSize, uint32_t* windowsError)
{
    // Output room beyond the slot is never used; input beyond it cannot be sent.
    if (inputSize > slot_.Capacity())
        return VDAPI_E_BUF_TOO_LARGE;
    capacity = std::min(capacity, slot_.Capacity());
    namespace DW = DriverWire;
    slot_.Store(DW::kSlotCodeAt, code);
    slot_.Store(DW::kSlotInputLengthAt, inputSize);
    slot_.Store(DW::kSlotOutputCapacityAt, capacity);
    if (inputSize > 0)
        std::memcpy(slot_.Payload(), input, inputSize);
    const uint32_t seq = ++slotSeq_;
    slot_.Publish(DW::kSlotRequestSeqAt, DW::kSlotDriverSleepingAt, seq);
    const SlotWait waited = slot_.WaitForChange(DW::kSlotReplySeqAt, DW::kSlotClientSleepingAt, seq - 1,
                                                policy_.spinMicros, policy_.sliceMs,
                                                [this] { return driverStillThere(); });
    if (waited != SlotWait::Changed)
        return brokenExchange("driver gone before replying", code);
    if (slot_.Load(DW::kSlotReplySeqAt) != seq)
        return brokenExchange("reply out of sequence", code);
    const uint32_t error = slot_.Load(DW::kSlotErrorAt);
    const uint32_t length = slot_.Load(DW::kSlotOutputLengthAt);
    if (length > capacity)
        return brokenExchange("reply announces more output than the room given", code);
    if (length > 0)
        std::memcpy(output, slot_.Payload(), length);
    if (returnedSize != nullptr)
        *returnedSize = length;
    if (windowsError != nullptr)
        *windowsError = error;
    return DriverErrorToResult(error);
}

size_t XpDriverPosix::packBatch(std::span<const DriverRequestItem> items, uint32_t& outputRoom)
{
    namespace DW = DriverWire;
    // One transport request carries at most a slot's (or the wire's) payload each way.
    const size_t limit = slot_.Valid() ? slot_.Capacity() : std::min(policy_.slotCapacity, DW::kMaxPayload);
    size_t outputBytes = DW::kBatchCountSize;
    size_t taken = 0;
    DW::beginBatch(batchInput_);
    for (const DriverRequestItem& item : items) {
        if (taken == DW::kMaxBatchRequests || (item.input == nullptr && item.inputSize > 0) ||
            (item.output == nullptr && item.outputCapacity > 0))
            break;
        const uint32_t capacity = std::min(item.outputCapacity, DW::kMaxPayload);
        if (batchInput_.size() + DW::batchInputBytes(item.inputSize) > limit ||
            outputBytes + DW::batchAnswerBytes(capacity) > limit)
            break;
        DW::appendBatchRequest(batchInput_, DW::RequestHeader{item.code, item.inputSize, capacity},
                               static_cast<const uint8_t*>(item.input));
        outputBytes += DW::batchAnswerBytes(capacity);
        ++taken;
    }
    DW::setBatchCount(batchInput_, uint32_t(taken));
    outputRoom = uint32_t(outputBytes);
    return taken;
}

bool UnpackBatchReply(const uint8_t* reply, size_t length, std::span<DriverRequestItem> items)
{
    namespace DW = DriverWire;
    DW::BatchReplyReader reader(reply, length);
    uint32_t count = 0;
    if (!reader.readCount(count) || count != items.size())
        return false;
    for (DriverRequestItem& item : items) {
        // Each announced length is checked against its own room and what arrived before use.
        DW::ReplyHeader h;
        const uint8_t* output = nullptr;
        if (!reader.next(std::min(item.outputCapacity, DW::kMaxPayload), h, output))
            return false;
        if (h.outputLength > 0)
            std::memcpy(item.output, output, h.outputLength);
        item.returnedSize = h.outputLength;
        item.windowsError = h.windowsError;
        item.result = DriverErrorToResult(h.windowsError);
    }
    return true;
}

void XpDriverPosix::RequestBatch(std::span<DriverRequestItem> items)
{
    namespace DW = DriverWire;
    size_t next = 0;
    while (next < items.size()) {
        const std::span<DriverRequestItem> rest = items.subspan(next);
        if (batchRefused_ || !socket_ || rest.size() == 1) {
            IXpDriver::RequestBatch(rest);
            return;
        }
        uint32_t outputRoom = 0;
        const size_t taken = packBatch(rest, outputRoom);
        if (taken < 2) {
            // Alone it travels as it always did (and gets that request's own refusals).
            IXpDriver::RequestBatch(rest.first(1));
            ++next;
            continue;
        }
        if (batchOutput_.size() < outputRoom)
            batchOutput_.resize(outputRoom);
        uint32_t returned = 0, error = 0;
        const VdResult rc = Request(DW::kRequestBatch, batchInput_.data(), uint32_t(batchInput_.size()),
                                    batchOutput_.data(), outputRoom, &returned, &error);
        const std::span<DriverRequestItem> sent = rest.first(taken);
        if (!socket_) {
            // The exchange broke and closed the handle: as one by one, the first request saw
            // the break and the others find no handle.
            sent.front().result = isSuccess(rc) ? VDAPI_E_COMMUNICATION : rc;
            IXpDriver::RequestBatch(rest.subspan(1));
            return;
        }
        if (!isSuccess(rc)) {
            // An older driver does not know batches; one that refuses this batch answers its
            // requests one by one.
            if (error == DW::kErrorInvalidFunction) {
                batchRefused_ = true;
            } else {
                IXpDriver::RequestBatch(sent);
                next += taken;
            }
            continue;
        }
        if (!UnpackBatchReply(batchOutput_.data(), returned, sent)) {
            brokenExchange("malformed batch answer", DW::kRequestBatch);
            sent.front().result = VDAPI_E_COMMUNICATION;
            IXpDriver::RequestBatch(rest.subspan(1));
            return;
        }
        next += taken;
    }
}

VdResult XpDriverPosix::ListInterfaces(uint64_t& presentMask)
{
    presentMask = 0;
    return CatchAllocation([&]() -> VdResult {
        const std::string folder = RunDir::root() + "/drivers/" + DriverClassGuid(driverClass_);
        std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
        if (!dir) {
            if (errno == ENOENT)
                return VDAPI_OK; // driver not installed: no interfaces
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, "list driver interfaces");
        }
        uint64_t mask = 0;
        errno = 0;
        while (const dirent* entry = ::readdir(dir.get())) {
            if (entry->d_type != DT_SOCK && entry->d_type != DT_UNKNOWN)
                continue;
            const int index = interfaceIndex(entry->d_name);
            if (index >= 0)
                mask |= uint64_t(1) << index;
        }
        presentMask = mask;
        return VDAPI_OK;
    });
}

} // namespace Vdapi
