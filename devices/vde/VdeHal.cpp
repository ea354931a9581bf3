// Ethernet-attached device access: open, identity, properties and I/O direction.
#include "devices/vde/VdeHal.h"

#include "devices/IoConfigTable.h"
#include "devices/platform/Xp.h"
#include "devices/vde/soap/SoapNamespaces.h"

#include <cstdio>

namespace Vdapi {

namespace {

/// Device results passed on unchanged, as closed ranges.
constexpr struct {
    uint32_t first, last;
} kKeptDeviceResults[] = {
    {4097, 4105}, {4107, 4125}, {4127, 4127}, {4129, 4179}, {4181, 4184}, {4191, 4191},
    {4213, 4213}, {4219, 4219}, {4224, 4224}, {4238, 4238}, {4277, 4277},
};
constexpr uint64_t kDeviceRolloffCode = 4128;

// Direction codes a device answers to GetIoConfig.
enum DeviceIoDirection : int32_t {
    kDevDisabled = 0,
    kDevInput = 1,
    kDevOutput = 2,
    kDevDoubleBuffered = 3,
    kDevLoopThrough = 7,
};

std::string EndpointText(const std::array<uint8_t, 4>& ip, int port)
{
    char text[64];
    std::snprintf(text, sizeof text, "http://%d.%d.%d.%d:%d", ip[0], ip[1], ip[2], ip[3], port);
    return text;
}

} // namespace

VdResult TranslateDeviceResult(uint64_t code)
{
    if (code == VDAPI_OK || code == 1 || code == VDAPI_E_ATTACHED)
        return VdResult(code);
    if (code == kDeviceRolloffCode)
        return VDAPI_E_INVALID_ROLLOFF;
    for (const auto& range : kKeptDeviceResults)
        if (code >= range.first && code <= range.last)
            return VdResult(code);
    return VDAPI_E_INTERNAL;
}

VdResult VdeHal::Open(const std::array<uint8_t, 4>& ipv4)
{
    Close();
    ipv4_ = ipv4;
    deviceEndpoint_ = EndpointText(ipv4, VdeSoap::kDeviceCallPort);
    debugEndpoint_ = EndpointText(ipv4, VdeSoap::kDebugPort);
    deviceRpc_.SetEndpoint(deviceEndpoint_);

    const VdResult connected = service_.Connect();
    if (!isSuccess(connected))
        return connected;

    uint64_t result = 0;
    uint32_t deviceId = 0;
    if (const int rc = deviceRpc_.Attach(result, deviceId); rc != 0) {
        VDAPI_LOG(Warning, "device %s: attach exchange failed (SOAP error %d)", deviceEndpoint_.c_str(), rc);
        return VDAPI_E_COMMUNICATION;
    }
    if (result >= 4096)
        return result <= UINT32_MAX ? VdResult(result) : VDAPI_E_INTERNAL;
    deviceId_ = deviceId;
    attached_ = true;

    ServiceProtocol::VdeListEntry entry;
    const VdResult described = GetDescriptor(entry);
    if (!isSuccess(described)) {
        uint64_t detached = 0;
        deviceRpc_.Detach(deviceId_, detached);
        attached_ = false;
        return described;
    }
    typeNumber_ = entry.typeNumber;
    firmwareVersion_ = entry.firmwareVersion;
    serial_ = entry.serial;
    return VDAPI_OK;
}

VdResult VdeHal::GetDescriptor(ServiceProtocol::VdeListEntry& entry)
{
    uint64_t result = 0;
    if (const int rc = deviceRpc_.GetDescriptor(result, entry); rc != 0) {
        VDAPI_LOG(Warning, "device %s: descriptor exchange failed (SOAP error %d)", deviceEndpoint_.c_str(), rc);
        return VDAPI_E_COMMUNICATION;
    }
    return TranslateDeviceResult(result);
}

void VdeHal::Close()
{
    if (attached_) {
        uint64_t result = 0;
        if (const int rc = deviceRpc_.Detach(deviceId_, result); rc != 0)
            VDAPI_LOG(Warning, "device %s: detach exchange failed (SOAP error %d)", deviceEndpoint_.c_str(), rc);
        attached_ = false;
    }
    if (service_.IsConnected())
        service_.Disconnect();
}

VdResult VdeHal::GetProperty(const DriverProtocol::PropertyQuery& query, uint64_t& value)
{
    value = 0;
    if (query.selector5 != -1)
        return VDAPI_E_NOT_IMPLEMENTED;
    const int32_t type = query.typeSelector == -1 ? typeNumber_ : query.typeSelector;
    int64_t answer = 0;
    const VdResult rc = service_.GetProperty(query.name, type, firmwareVersion_, query.port + 1, answer);
    if (isSuccess(rc))
        value = uint64_t(answer);
    return rc;
}

VdResult VdeHal::GetStrProperty(const DriverProtocol::PropertyQuery& query, char* buffer, size_t bufferSize,
                                size_t& textLength)
{
    textLength = 0;
    if (query.selector5 != -1)
        return VDAPI_E_NOT_IMPLEMENTED;
    const int32_t type = query.typeSelector == -1 ? typeNumber_ : query.typeSelector;
    return service_.GetStrProperty(query.name, type, query.selector3, query.selector4, query.port + 1, buffer,
                                   bufferSize, textLength);
}

VdResult VdeHal::GetIoDirection(int port, int& value, int& subValue, int64_t& parameter)
{
    value = subValue = -1;
    parameter = -1;
    uint64_t result = 0;
    int32_t code = -1, parXtra = -1;
    if (const int rc = deviceRpc_.GetIoConfig(deviceId_, port, result, code, parXtra); rc != 0) {
        VDAPI_LOG(Warning, "device %s: I/O configuration exchange failed (SOAP error %d)", deviceEndpoint_.c_str(),
                  rc);
        return VDAPI_E_COMMUNICATION;
    }
    switch (code) {
    case kDevDisabled: value = kIoDisabled; break;
    case kDevInput: value = subValue = kIoInput; break;
    case kDevOutput: value = subValue = kIoOutput; break;
    case kDevDoubleBuffered:
        value = kIoOutput;
        subValue = kIoDblBuf;
        parameter = parXtra;
        break;
    case kDevLoopThrough:
        value = kIoOutput;
        subValue = kIoLoopThr;
        parameter = parXtra;
        break;
    default:
        VDAPI_LOG(Warning, "device %s: unknown I/O direction code %d on port %d", deviceEndpoint_.c_str(), code, port);
        return VDAPI_E_DEV_DRIVER;
    }
    return TranslateDeviceResult(result);
}

} // namespace Vdapi
