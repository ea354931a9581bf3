// Driver connections over the socket, the shared-memory slot and request batches.
#include "sim/DriverTransport.h"

#include "devices/DriverClass.h"
#include "devices/platform/DriverPath.h"
#include "devices/platform/posix/DriverWire.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/UnixSocket.h"
#include "sim/SimLog.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vdsim {

namespace DW = Vdapi::DriverWire;

std::vector<Endpoint> DriverTransport::endpointsOf(size_t device)
{
    auto lk = state_.lock();
    const DeviceSpec& d = state_.rig().devices[device];
    const DriverSpec& drv = state_.rig().drivers[d.family];
    std::vector<Endpoint> out;
    if (d.family == Family::Legacy) {
        for (int f = 0; f < int(d.functionPorts.size()); ++f) {
            if (drv.interfaces) out.push_back({d.family, device, f, d.firstIndex + f, false});
            if (drv.names) out.push_back({d.family, device, f, d.firstIndex + f, true});
        }
    } else {
        out.push_back({d.family, device, 0, d.firstIndex, false});
    }
    return out;
}

std::string DriverTransport::pathOf(const Endpoint& ep)
{
    if (ep.legacyName) return Vdapi::RunDir::legacyDriver(Vdapi::LegacyDriverName(ep.index));
    const char* guid = Vdapi::DriverClassGuid(Vdapi::DriverClass::Pcie);
    if (ep.family == Family::Legacy) guid = Vdapi::DriverClassGuid(Vdapi::DriverClass::LegacyPci);
    else if (ep.family == Family::Bb2) guid = Vdapi::DriverClassGuid(Vdapi::DriverClass::Bb2);
    else if (ep.family == Family::Usb) guid = Vdapi::DriverClassGuid(Vdapi::DriverClass::Usb);
    return Vdapi::RunDir::driverInterface(guid, unsigned(ep.index));
}
bool DriverTransport::listen(size_t device, std::string& error)
{
    for (const auto& ep : endpointsOf(device))
        if (!pool_.addListener(pathOf(ep), ListenerKind::Driver, ep, error)) return false;
    return true;
}

DriverReply DriverTransport::answer(Connection& c, uint32_t code, const std::vector<uint8_t>& input,
                                    uint32_t outputCapacity, bool& stopping)
{
    if (code == DW::kRequestBatch) return answerBatch(c, input, outputCapacity, stopping);
    DriverReply reply;
    FaultDecision fault = state_.beginRequest(driverKind(code));
    if (fault.delayMs > 0 && pool_.waitStop(fault.delayMs)) {
        stopping = true;
        return reply;
    }
    if (fault.failWith) {
        reply.windowsError = *fault.failWith;
        return reply;
    }
    reply = answerDriverRequest(state_, c.endpoint, c.id, code, input, outputCapacity);
    if (fault.corrupt) {
        if (reply.output.empty() && outputCapacity > 0) reply.output.push_back(0xEE);
        else reply.output.resize(reply.output.size() / 2);
    }
    return reply;
}

DriverReply DriverTransport::answerBatch(Connection& c, const std::vector<uint8_t>& input, uint32_t outputCapacity,
                                   bool& stopping)
{
    DriverReply refused;
    if (!batchesTaken_.load()) {
        // Plays a driver that predates batches; counted so that a client asking again is seen.
        state_.countEvent("batch-refused");
        refused.windowsError = DW::kErrorInvalidFunction;
        return refused;
    }
    refused.windowsError = DW::kErrorInvalidParameter;
    // Every header and length is checked against the input and the answer room before any
    // request of the batch is answered: a batch is served whole or not at all.
    std::vector<BatchItem> items;
    switch (parseBatchRequest(input, outputCapacity, items)) {
    case BatchParse::Ok: break;
    case BatchParse::BadHeader: return refused;
    case BatchParse::BadTotal:
        logLine("malformed driver request batch of " + std::to_string(items.size()) + " refused");
        return refused;
    }
    state_.countEvent("batch");
    DriverReply packed;
    DW::beginBatch(packed.output);
    DW::setBatchCount(packed.output, uint32_t(items.size()));
    std::vector<uint8_t> one;
    for (const BatchItem& item : items) {
        one.assign(input.begin() + std::ptrdiff_t(item.inputAt),
                   input.begin() + std::ptrdiff_t(item.inputAt + item.header.inputLength));
        const DriverReply reply = answer(c, item.header.code, one, item.header.outputCapacity, stopping);
        if (stopping) return packed;
        const size_t length = std::min<size_t>(reply.output.size(), item.header.outputCapacity);
        DW::appendBatchReply(packed.output, DW::ReplyHeader{reply.windowsError, uint32_t(length)}, reply.output.data());
    }
    return packed;
}

bool DriverTransport::grantSlot(Connection& c, const std::vector<uint8_t>& input, Vdapi::DriverSlot& slot)
{
    UniqueFd file;
    uint32_t granted = 0;
    if (slotsAllowed_.load() && input.size() == DW::kNegotiateSize && DW::getU32(input.data()) == DW::kSlotVersion) {
        granted = std::min(DW::getU32(input.data() + 4), DW::kMaxPayload);
        if (granted > 0) file = slot.Create(granted);
        if (!file) logLine(std::string("no shared-memory slot for a driver connection: ") + std::strerror(errno));
    }
    uint8_t reply[DW::kReplyHeaderSize + DW::kNegotiateSize] = {};
    uint8_t rh[DW::kReplyHeaderSize];
    if (!file) {
        slot.Reset();
        DW::encode(DW::ReplyHeader{DW::kErrorInvalidFunction, 0}, rh);
        return writeFull(c.fd.get(), rh, sizeof rh, pool_.stopFd());
    }
    DW::encode(DW::ReplyHeader{0, uint32_t(DW::kNegotiateSize)}, rh);
    std::memcpy(reply, rh, sizeof rh);
    DW::putU32(reply + DW::kReplyHeaderSize, DW::kSlotVersion);
    DW::putU32(reply + DW::kReplyHeaderSize + 4, granted);
    // The file travels with the reply's bytes; whatever a short send leaves follows as plain data.
    const ssize_t n = Vdapi::SendWithDescriptor(c.fd.get(), reply, sizeof reply, file.get());
    if (n <= 0) return false;
    return size_t(n) == sizeof reply || writeFull(c.fd.get(), reply + n, sizeof reply - size_t(n), pool_.stopFd());
}

void DriverTransport::serveSlot(Connection& c, Vdapi::DriverSlot& slot)
{
    // Spin a little after each answer: a scan sends its next request within microseconds.
    constexpr int kSpinMicros = 20;
    constexpr int kSliceMs = 20; // bounds how late a dead client or a stop is noticed
    const int stop = pool_.stopFd();
    auto clientStillThere = [&] {
        // The client never writes to the socket once it has a slot: readable means closed.
        pollfd fds[2] = {{c.fd.get(), POLLIN, 0}, {stop, POLLIN, 0}};
        const int n = ::poll(fds, 2, 0);
        return n == 0 || (n < 0 && errno == EINTR);
    };
    // A new slot starts at sequence 0; the client may have posted its first request already.
    uint32_t seq = 0;
    std::vector<uint8_t> input;
    for (;;) {
        if (slot.WaitForChange(DW::kSlotRequestSeqAt, DW::kSlotDriverSleepingAt, seq, kSpinMicros, kSliceMs,
                               clientStillThere) != Vdapi::SlotWait::Changed)
            return;
        if (c.closing.load()) return;
        seq = slot.Load(DW::kSlotRequestSeqAt);
        // Each field is read once and checked before the payload is touched.
        const uint32_t code = slot.Load(DW::kSlotCodeAt);
        const uint32_t inputLength = slot.Load(DW::kSlotInputLengthAt);
        const uint32_t outputCapacity = slot.Load(DW::kSlotOutputCapacityAt);
        DriverReply reply;
        if (inputLength > slot.Capacity() || outputCapacity > slot.Capacity()) {
            logLine("slot request with input " + std::to_string(inputLength) + " and capacity " +
                    std::to_string(outputCapacity) + " bytes refused");
            reply.windowsError = DW::kErrorInvalidParameter;
        } else {
            input.assign(slot.Payload(), slot.Payload() + inputLength);
            bool stopping = false;
            reply = answer(c, code, input, outputCapacity, stopping);
            if (stopping) return;
        }
        // answerDriverRequest never answers more than the capacity; corruption only shortens.
        const size_t length = std::min<size_t>(reply.output.size(), outputCapacity);
        if (length > 0) std::memcpy(slot.Payload(), reply.output.data(), length);
        slot.Store(DW::kSlotErrorAt, reply.windowsError);
        slot.Store(DW::kSlotOutputLengthAt, uint32_t(length));
        slot.Publish(DW::kSlotReplySeqAt, DW::kSlotClientSleepingAt, seq);
    }
}

void DriverTransport::serve(Connection& c)
{
    // A client's next request on a handle follows its last answer within microseconds.
    constexpr int kDriverSpinMicros = 30;
    const int stop = pool_.stopFd();
    StreamReader reader(c.fd.get(), stop, kDriverSpinMicros);
    std::vector<uint8_t> input;
    for (;;) {
        uint8_t hdr[DW::kRequestHeaderSize];
        if (!reader.read(hdr, sizeof hdr)) return;
        DW::RequestHeader h = DW::decodeRequest(hdr);
        DriverReply reply;
        bool keep = true;
        if (h.inputLength > DW::kMaxPayload || h.outputCapacity > DW::kMaxPayload) {
            // The rest of the stream cannot be trusted: answer, then drop the connection.
            logLine("driver request with input " + std::to_string(h.inputLength) + " and capacity " +
                    std::to_string(h.outputCapacity) + " bytes refused");
            reply.windowsError = DW::kErrorInvalidParameter;
            keep = false;
        } else {
            input.resize(h.inputLength);
            if (!reader.read(input.data(), input.size())) return;
            if (h.code == DW::kNegotiateFastChannel) {
                Vdapi::DriverSlot slot;
                if (!grantSlot(c, input, slot)) return;
                if (slot.Valid()) {
                    serveSlot(c, slot);
                    return;
                }
                continue;
            }
            bool stopping = false;
            reply = answer(c, h.code, input, h.outputCapacity, stopping);
            if (stopping) return;
        }
        // Header and output leave in one write.
        uint8_t rh[DW::kReplyHeaderSize];
        DW::encode(DW::ReplyHeader{reply.windowsError, uint32_t(reply.output.size())}, rh);
        reply.output.insert(reply.output.begin(), rh, rh + sizeof rh);
        if (!writeFull(c.fd.get(), reply.output.data(), reply.output.size(), stop)) return;
        if (!keep) return;
    }
}

} // namespace vdsim
