// Device remote calls through the generated SOAP client.
#include "devices/vde/VdDeviceRpc.h"

#include "devices/vde/soap/SoapNamespaces.h"

#include <soapH.h>

#include <cstring>
#include <sstream>

namespace Vdapi {

namespace {

/// Copies the identity of a GetDescriptor answer; false when an address array has the wrong
/// length (the device's message is then not usable).
bool DecodeDeviceInfo(const Vdapi__VdeDeviceInfo& in, ServiceProtocol::VdeListEntry& out)
{
    if (in.__sizeIp != 4 || in.__sizeMac != 6 || in.m_Ip == nullptr || in.m_Mac == nullptr)
        return false;
    out = ServiceProtocol::VdeListEntry();
    out.serial = in.m_Serial;
    out.typeNumber = in.m_TypeNumber;
    out.firmwareVersion = in.m_FirmwareVersion;
    out.firmwareVariant = in.m_FirmwareVariant;
    std::memcpy(out.ipAddress.data(), in.m_Ip, 4);
    std::memcpy(out.macAddress.data(), in.m_Mac, 6);
    out.opMode = in.m_OpMode;
    out.port = in.m_Port;
    return true;
}

} // namespace

VdDeviceRpc::VdDeviceRpc() : context_(SOAP_IO_DEFAULT, VdeSoap::kDeviceCallNamespaces) {}

int VdDeviceRpc::Prepare()
{
    struct soap* s = context_.Get();
    if (!s)
        return SOAP_EOM;
    context_.FreeMessages();
    s->connect_timeout = kTimeoutSeconds;
    s->send_timeout = kTimeoutSeconds;
    s->recv_timeout = kTimeoutSeconds;
    return SOAP_OK;
}

int VdDeviceRpc::Attach(uint64_t& result, uint32_t& deviceId)
{
    if (int rc = Prepare())
        return rc;
    VdDev__AttachResponse response;
    const int rc = soap_call_VdDev__Attach(context_.Get(), endpoint_.c_str(), nullptr, &response);
    if (rc == SOAP_OK) {
        result = response.VdapiResult;
        deviceId = response.DeviceId;
    }
    return rc;
}

int VdDeviceRpc::GetDescriptor(uint64_t& result, ServiceProtocol::VdeListEntry& info)
{
    if (int rc = Prepare())
        return rc;
    VdDev__GetDescriptorResponse response;
    const int rc = soap_call_VdDev__GetDescriptor(context_.Get(), endpoint_.c_str(), nullptr, &response);
    if (rc != SOAP_OK)
        return rc;
    if (!DecodeDeviceInfo(response.VdeDeviceInfo, info))
        return SOAP_LENGTH;
    result = response.VdapiResult;
    return SOAP_OK;
}

int VdDeviceRpc::Detach(uint32_t deviceId, uint64_t& result)
{
    if (int rc = Prepare())
        return rc;
    VdDev__DetachResponse response;
    const int rc = soap_call_VdDev__Detach(context_.Get(), endpoint_.c_str(), nullptr, deviceId, &response);
    if (rc == SOAP_OK)
        result = response.VdapiResult;
    return rc;
}

int VdDeviceRpc::GetIoConfig(uint32_t deviceId, int32_t port, uint64_t& result, int32_t& ioConfig,
                             int32_t& parXtra)
{
    if (int rc = Prepare())
        return rc;
    VdDev__GetIoConfigResponse response;
    const int rc =
        soap_call_VdDev__GetIoConfig(context_.Get(), endpoint_.c_str(), nullptr, deviceId, port, &response);
    if (rc == SOAP_OK) {
        result = response.VdapiResult;
        ioConfig = response.IoConfig;
        parXtra = response.ParXtra;
    }
    return rc;
}

int VdDeviceRpc::ParseGetDescriptorAnswer(const uint8_t* data, size_t size, uint64_t& result,
                                          ServiceProtocol::VdeListEntry& info)
{
    SoapContext context(SOAP_IO_DEFAULT, VdeSoap::kDeviceCallNamespaces);
    struct soap* s = context.Get();
    if (!s)
        return SOAP_EOM;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    s->is = &in;
    VdDev__GetDescriptorResponse response;
    int rc = soap_recv_VdDev__GetDescriptor(s, &response);
    if (rc == SOAP_OK) {
        if (DecodeDeviceInfo(response.VdeDeviceInfo, info))
            result = response.VdapiResult;
        else
            rc = SOAP_LENGTH;
    }
    s->is = nullptr;
    return rc;
}

} // namespace Vdapi
