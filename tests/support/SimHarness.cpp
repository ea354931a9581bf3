// Test harness for the simulator: process control and hand-made protocol clients.
#include "tests/support/SimHarness.h"

#include "devices/platform/posix/DriverWire.h"
#include "devices/vde/ServiceProtocol.h"

namespace vdsim::test {

namespace DW = Vdapi::DriverWire;
namespace SP = Vdapi::ServiceProtocol;

DriverConnection::DriverConnection(const std::string& path) : fd_(connectUnix(path)) {}

bool DriverConnection::sendRaw(const std::vector<uint8_t>& bytes)
{
    return fd_ && writeFull(fd_.get(), bytes.data(), bytes.size(), -1);
}

DriverAnswer DriverConnection::readReply()
{
    DriverAnswer a;
    uint8_t h[DW::kReplyHeaderSize];
    if (!fd_ || !readFull(fd_.get(), h, sizeof h, -1, 10000)) return a;
    DW::ReplyHeader rh = DW::decodeReply(h);
    if (rh.outputLength > DW::kMaxPayload) return a;
    a.output.resize(rh.outputLength);
    if (!readFull(fd_.get(), a.output.data(), a.output.size(), -1, 10000)) return a;
    a.error = rh.windowsError;
    a.ok = true;
    return a;
}

bool DriverConnection::send(uint32_t code, const std::vector<uint8_t>& input, uint32_t outputCapacity)
{
    uint8_t h[DW::kRequestHeaderSize];
    DW::encode(DW::RequestHeader{code, uint32_t(input.size()), outputCapacity}, h);
    std::vector<uint8_t> bytes(h, h + sizeof h);
    bytes.insert(bytes.end(), input.begin(), input.end());
    return sendRaw(bytes);
}

DriverAnswer DriverConnection::request(uint32_t code, const std::vector<uint8_t>& input, uint32_t outputCapacity)
{
    if (!send(code, input, outputCapacity)) return {};
    DriverAnswer a = readReply();
    if (a.ok && a.output.size() > outputCapacity) a.ok = false;
    return a;
}

bool DriverConnection::closedByPeer(int deadlineMs)
{
    char c;
    return fd_ && !readFull(fd_.get(), &c, 1, -1, deadlineMs) && readSome(fd_.get(), &c, 1, -1) == 0;
}

ServiceConnection::ServiceConnection(const std::string& path) : fd_(connectUnix(path)) {}

bool ServiceConnection::send(const std::vector<uint8_t>& payload)
{
    uint8_t h[SP::kLongHeaderSize];
    size_t n = SP::encodeFrameHeader(uint32_t(payload.size()), h);
    return fd_ && writeFull(fd_.get(), h, n, -1) && writeFull(fd_.get(), payload.data(), payload.size(), -1);
}

bool ServiceConnection::receive(std::vector<uint8_t>& payload, int deadlineMs)
{
    uint8_t h[SP::kLongHeaderSize];
    if (!fd_ || !readFull(fd_.get(), h, 2, -1, deadlineMs)) return false;
    uint32_t len = SP::shortHeaderLength(h);
    if (SP::isLongHeader(h)) {
        if (!readFull(fd_.get(), h + 2, 6, -1, deadlineMs)) return false;
        len = SP::longHeaderLength(h);
    }
    if (len > SP::kMaxMessage) return false;
    payload.assign(len, 0);
    return readFull(fd_.get(), payload.data(), len, -1, deadlineMs);
}

std::vector<uint8_t> ServiceConnection::call(const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> reply;
    if (!send(payload) || !receive(reply)) reply.clear();
    return reply;
}

std::vector<uint8_t> plainHeader() { return words({0, -1, -1, -1}); }

std::vector<uint8_t> words(std::initializer_list<int32_t> values)
{
    std::vector<uint8_t> out;
    for (int32_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    return out;
}

} // namespace vdsim::test
