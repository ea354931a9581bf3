// Feeds arbitrary bytes as everything the device service answers on its pipe: the client
// connects, then runs a fixed series of requests, each reading its reply (framing, length
// checks, field decoding) from the remaining bytes. Also checks every command's reply checker
// on the raw input.
#include "devices/platform/IXpPipeConnection.h"
#include "devices/vde/ServiceReply.h"
#include "devices/vde/VdeSvcClient.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

using namespace Vdapi;

/// A pipe whose peer's replies are a fixed byte string; writes are accepted and dropped.
class ReplayPipe : public IXpPipeConnection {
public:
    ReplayPipe(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    VdResult Init() override { return VDAPI_OK; }
    VdResult Connect(const char*) override
    {
        if (open_) return VDAPI_E_IN_USE;
        open_ = true;
        return VDAPI_OK;
    }
    VdResult Flush() override { return open_ ? VDAPI_OK : VDAPI_E_NOT_INITIALIZED; }
    VdResult Write(const void*, uint32_t, uint32_t) override { return open_ ? VDAPI_OK : VDAPI_E_NOT_INITIALIZED; }
    VdResult Read(void* buffer, uint32_t length, uint32_t) override
    {
        if (!open_) return VDAPI_E_NOT_INITIALIZED;
        const size_t n = std::min<size_t>(length, size_ - pos_);
        if (n > 0) std::memcpy(buffer, data_ + pos_, n);
        pos_ += n;
        return n == length ? VDAPI_OK : (n == 0 ? VDAPI_E_TIMEOUT : VDAPI_E_COMMUNICATION);
    }
    void Cancel() override {}
    VdResult ResetCancel() override { return VDAPI_OK; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool open_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (const auto& c : ServiceProtocol::kCommandSizes) {
        if (ServiceReply::Check(c.command, data, size) != VDAPI_E_INTERNAL && size < ServiceProtocol::kMinReplySize)
            __builtin_trap();
    }

    VdeSvcClient client(std::make_unique<ReplayPipe>(data, size));
    if (!isSuccess(client.Connect())) return 0;
    std::string mutexName, sectionName;
    client.GetVdeListNames(mutexName, sectionName);
    if (mutexName.size() >= ServiceProtocol::kListNameUnits || sectionName.size() >= ServiceProtocol::kListNameUnits)
        __builtin_trap();
    int64_t value = 0;
    client.GetProperty("DEVICE_TYPE", 3137, 3, 0, value);
    char text[8];
    size_t textLength = 0;
    if (client.GetStrProperty("DEVICE_NAME", 3137, 0, 0, 0, text, sizeof text, textLength) == VDAPI_OK &&
        std::strlen(text) != textLength)
        __builtin_trap();
    if (textLength >= ServiceProtocol::kStringTextField) __builtin_trap();
    client.RefreshVdeList();
    std::vector<uint8_t> request(40, 0), reply;
    request[0] = 9;
    if (client.ChannelRequest(request, reply) == VDAPI_OK && reply.size() < ServiceProtocol::kChannelData)
        __builtin_trap();
    uint32_t handle = 0;
    const uint8_t ip[4] = {10, 0, 0, 1};
    client.DemodAttach(ip, 3137000042, 1, handle);
    client.Disconnect();
    return 0;
}
