// Device-service client: connection with version check and the command requests.
#include "devices/vde/VdeSvcClient.h"

#include "base/WireBytes.h"
#include "devices/platform/Xp.h"
#include "devices/vde/ServiceRequest.h"

#include <cstring>

namespace Vdapi {

namespace SP = ServiceProtocol;

namespace {
/// Holds the request lock for one scope.
class RequestLockGuard {
public:
    explicit RequestLockGuard(IXpMutex& m) : m_(m), locked_(isSuccess(m.Lock())) {}
    ~RequestLockGuard()
    {
        if (locked_) m_.Unlock();
    }
    bool locked() const { return locked_; }
    RequestLockGuard(const RequestLockGuard&) = delete;
    RequestLockGuard& operator=(const RequestLockGuard&) = delete;

private:
    IXpMutex& m_;
    bool locked_;
};
} // namespace

VdeSvcClient::VdeSvcClient() = default;

VdeSvcClient::VdeSvcClient(std::unique_ptr<IXpPipeConnection> pipe) : PipeMessenger(std::move(pipe), SP::kMaxMessage) {}

VdeSvcClient::~VdeSvcClient() { Disconnect(); }

std::vector<uint8_t> VdeSvcClient::NewRequest(int32_t command)
{
    return ServiceRequest::Command(command);
}

VdResult VdeSvcClient::Connect()
{
    if (connected_.load()) return VDAPI_OK;
    if (!Init()) return VDAPI_E_CONNECT_TO_SERVICE;
    stopEvents_.store(false);
    if (!requestLock_) {
        auto lock = Xp::NewMutex();
        if (!lock) return VDAPI_E_OUT_OF_MEM;
        if (VdResult r = lock->Init(); !isSuccess(r)) return r;
        requestLock_ = std::move(lock);
    }
    {
        RequestLockGuard guard(*requestLock_);
        if (!guard.locked()) return VDAPI_E_INTERNAL;
        if (!IsOpen() && !PipeMessenger::Connect(SP::kPipeName)) return VDAPI_E_CONNECT_TO_SERVICE;
    }
    VdeServiceVersion version;
    VdResult r = GetVersion(version);
    if (isSuccess(r) && !IsAcceptedServiceVersion(version)) {
        VDAPI_LOG(Error, "device service %u.%u.%u.%u is older than 5.1.3", version.major, version.minor,
                  version.bugfix, version.build);
        r = VDAPI_E_SERVICE_INCOMP;
    }
    if (!isSuccess(r)) {
        Close(); // a later Connect starts afresh
        return r;
    }
    connected_.store(true);
    return VDAPI_OK;
}

VdResult VdeSvcClient::Disconnect()
{
    stopEvents_.store(true);
    if (requestLock_) {
        {
            RequestLockGuard guard(*requestLock_);
            if (IsOpen()) {
                const std::vector<uint8_t> goodbye = NewRequest(SP::kCmdGoodbye);
                Send(goodbye.data(), uint32_t(goodbye.size()));
            }
            Close();
        }
        requestLock_->Close();
        requestLock_.reset();
    } else {
        Close();
    }
    connected_.store(false);
    return VDAPI_OK;
}

VdResult VdeSvcClient::Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply, bool needsConnected)
{
    reply.clear();
    if ((needsConnected && !connected_.load()) || !requestLock_) return VDAPI_E_NOT_INITIALIZED;
    bool exchanged = false;
    {
        RequestLockGuard guard(*requestLock_);
        if (!guard.locked()) return VDAPI_E_INTERNAL;
        Flush();
        exchanged = Send(request.data(), uint32_t(request.size())) && Receive(reply, kXpInfinite);
        if (!exchanged) {
            // Leave a working pipe for the next request; this one has failed regardless.
            Close();
            if (!PipeMessenger::Connect(SP::kPipeName))
                VDAPI_LOG(Warning, "device service pipe could not be reopened");
        }
    }
    if (!exchanged) return VDAPI_E_INTERNAL;
    const int32_t command = Wire::getI32(request.data());
    if (!ServiceReply::HasExpectedLength(command, reply.data(), reply.size())) {
        VDAPI_LOG(Warning, "device service reply of %zu bytes to command %d refused", reply.size(), int(command));
        reply.clear();
        return VDAPI_E_INTERNAL;
    }
    return ServiceReply::Check(command, reply.data(), reply.size());
}

VdResult VdeSvcClient::GetVersion(VdeServiceVersion& version)
{
    std::vector<uint8_t> reply;
    const VdResult r = Exchange(NewRequest(SP::kCmdVersion), reply, false);
    if (isSuccess(r)) version = ServiceReply::Version(reply.data());
    return r;
}

VdResult VdeSvcClient::RefreshVdeList()
{
    std::vector<uint8_t> reply;
    return Exchange(NewRequest(SP::kCmdRefreshList), reply, true);
}

VdResult VdeSvcClient::GetVdeListNames(std::string& mutexName, std::string& sharedMemName)
{
    std::vector<uint8_t> reply;
    const VdResult r = Exchange(NewRequest(SP::kCmdListNames), reply, true);
    if (isSuccess(r) && !ServiceReply::ListNames(reply.data(), mutexName, sharedMemName)) {
        VDAPI_LOG(Warning, "device service list names have no terminator");
        return VDAPI_E_INTERNAL;
    }
    return r;
}


VdResult VdeSvcClient::GetProperty(const std::string& name, int32_t typeNumber, int32_t firmwareVersion,
                                   int32_t portPlusOne, int64_t& value)
{
    std::vector<uint8_t> req;
    if (!ServiceRequest::Property(SP::kCmdNumericProperty, name, typeNumber, firmwareVersion, 0, portPlusOne, req))
        return VDAPI_E_BUF_TOO_SMALL;
    std::vector<uint8_t> reply;
    const VdResult r = Exchange(req, reply, true);
    if (isSuccess(r)) value = ServiceReply::NumericValue(reply.data());
    return r;
}

VdResult VdeSvcClient::GetStrProperty(const std::string& name, int32_t typeNumber, int32_t key60, int32_t key64,
                                      int32_t portPlusOne, char* buffer, size_t bufferSize, size_t& textLength)
{
    std::vector<uint8_t> req;
    if (!ServiceRequest::Property(SP::kCmdStringProperty, name, typeNumber, key60, key64, portPlusOne, req))
        return VDAPI_E_BUF_TOO_SMALL;
    std::vector<uint8_t> reply;
    const VdResult r = Exchange(req, reply, true);
    if (!isSuccess(r)) return r;
    std::string text;
    if (!ServiceReply::StringValue(reply.data(), text)) {
        VDAPI_LOG(Warning, "device service text for %s has no terminator", name.c_str());
        return VDAPI_E_INTERNAL;
    }
    textLength = text.size();
    if (buffer == nullptr || bufferSize <= text.size()) return VDAPI_E_BUF_TOO_SMALL;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return r;
}

VdResult VdeSvcClient::RegisterEventPipe(const std::string& pipeName, uint32_t mask)
{
    std::vector<uint8_t> req;
    if (!ServiceRequest::EventPipe(pipeName, mask, req)) return VDAPI_E_BUF_TOO_SMALL;
    std::vector<uint8_t> reply;
    return Exchange(req, reply, true);
}

VdResult VdeSvcClient::DemodAttach(const uint8_t ipv4[4], int64_t serial, int32_t portPlusOne, uint32_t& handle)
{
    std::vector<uint8_t> reply;
    const VdResult r = Exchange(ServiceRequest::DemodAttach(ipv4, serial, portPlusOne), reply, true);
    if (isSuccess(r)) handle = ServiceReply::AttachHandle(reply.data());
    return r;
}

VdResult VdeSvcClient::DemodDetach(int64_t serial, int32_t portPlusOne, uint32_t handle)
{
    std::vector<uint8_t> reply;
    return Exchange(ServiceRequest::DemodDetach(serial, portPlusOne, handle), reply, true);
}

VdResult VdeSvcClient::DemodAccessMode(int64_t serial, int32_t portPlusOne, uint32_t handle, int32_t accessMode)
{
    if (accessMode < 1 || accessMode > 3) return VDAPI_E_NOT_SUPPORTED;
    std::vector<uint8_t> reply;
    return Exchange(ServiceRequest::DemodAccessMode(serial, portPlusOne, handle, uint32_t(accessMode - 1)), reply, true);
}

VdResult VdeSvcClient::ChannelRequest(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply)
{
    reply.clear();
    if (request.size() < 4) return VDAPI_E_INVALID_ARG;
    const int32_t command = Wire::getI32(request.data());
    if (command != SP::kCmdChannel8 && command != SP::kCmdChannel9 && command != SP::kCmdChannel10)
        return VDAPI_E_INVALID_ARG;
    if (request.size() != SP::findCommand(command)->request) return VDAPI_E_INVALID_ARG;
    return Exchange(request, reply, true);
}

} // namespace Vdapi
