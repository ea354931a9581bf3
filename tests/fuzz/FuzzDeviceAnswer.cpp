// Feeds arbitrary bytes as a device's answer to GetDescriptor (HTTP response or bare SOAP
// envelope), decoded as the remote call decodes it.
#include "devices/vde/VdDeviceRpc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint64_t result = 0;
    Vdapi::ServiceProtocol::VdeListEntry info;
    Vdapi::VdDeviceRpc::ParseGetDescriptorAnswer(data, size, result, info);
    return 0;
}
