// Requests of the device-service pipe.
#include "devices/vde/ServiceRequest.h"

#include "base/WireBytes.h"
#include "devices/vde/ServiceProtocol.h"

#include <cstring>

namespace Vdapi {
namespace ServiceRequest {

namespace SP = ServiceProtocol;

namespace {
// Fields of the port commands 4, 5 and 6.
constexpr size_t kPortIpv4 = 4, kPortSerial = 8, kPortPlusOne = 16, kPortHandle = 20, kPortAccessMode = 24;
constexpr size_t kMaxEventPipeName = 63;
} // namespace

std::vector<uint8_t> Command(int32_t command)
{
    const SP::CommandSizes* sizes = SP::findCommand(command);
    std::vector<uint8_t> req(sizes ? sizes->request : 4, 0);
    Wire::putI32(req.data(), command);
    return req;
}

bool Property(int32_t command, const std::string& name, int32_t typeNumber, int32_t field60, int32_t field64,
              int32_t portPlusOne, std::vector<uint8_t>& out)
{
    if (name.size() > SP::kPropMaxNameLength) return false;
    std::vector<uint8_t> req = Command(command);
    Wire::putName(req.data() + SP::kPropName, SP::kPropNameField, name);
    Wire::putI32(req.data() + SP::kPropTypeNumber, typeNumber);
    Wire::putI32(req.data() + SP::kPropField60, field60);
    Wire::putI32(req.data() + SP::kPropField64, field64);
    Wire::putI32(req.data() + SP::kPropPortPlusOne, portPlusOne);
    out = std::move(req);
    return true;
}

bool EventPipe(const std::string& pipeName, uint32_t mask, std::vector<uint8_t>& out)
{
    if (pipeName.size() > kMaxEventPipeName) return false;
    std::vector<uint8_t> req = Command(SP::kCmdEventPipe);
    Wire::putName(req.data() + SP::kEventPipeName, SP::kEventPipeNameField, pipeName);
    Wire::putU32(req.data() + SP::kEventMask, mask);
    out = std::move(req);
    return true;
}

std::vector<uint8_t> DemodAttach(const uint8_t ipv4[4], int64_t serial, int32_t portPlusOne)
{
    std::vector<uint8_t> req = Command(SP::kCmdDemodAttach);
    std::memcpy(req.data() + kPortIpv4, ipv4, 4);
    Wire::putI64(req.data() + kPortSerial, serial);
    Wire::putI32(req.data() + kPortPlusOne, portPlusOne);
    return req;
}

std::vector<uint8_t> DemodDetach(int64_t serial, int32_t portPlusOne, uint32_t handle)
{
    std::vector<uint8_t> req = Command(SP::kCmdDemodDetach);
    Wire::putI64(req.data() + kPortSerial, serial);
    Wire::putI32(req.data() + kPortPlusOne, portPlusOne);
    Wire::putU32(req.data() + kPortHandle, handle);
    return req;
}

std::vector<uint8_t> DemodAccessMode(int64_t serial, int32_t portPlusOne, uint32_t handle, uint32_t wireMode)
{
    std::vector<uint8_t> req = Command(SP::kCmdDemodAccessMode);
    Wire::putI64(req.data() + kPortSerial, serial);
    Wire::putI32(req.data() + kPortPlusOne, portPlusOne);
    Wire::putU32(req.data() + kPortHandle, handle);
    Wire::putU32(req.data() + kPortAccessMode, wireMode);
    return req;
}

} // namespace ServiceRequest
} // namespace Vdapi
