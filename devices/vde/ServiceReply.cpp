// Reply checks and field decoders for the device-service commands.
#include "devices/vde/ServiceReply.h"

#include "base/WireBytes.h"

namespace Vdapi {

namespace SP = ServiceProtocol;

bool IsAcceptedServiceVersion(const VdeServiceVersion& v)
{
    if (v.major != kMinServiceVersion.major) return v.major > kMinServiceVersion.major;
    if (v.minor != kMinServiceVersion.minor) return v.minor > kMinServiceVersion.minor;
    return v.bugfix >= kMinServiceVersion.bugfix;
}

namespace ServiceReply {

bool HasExpectedLength(int32_t command, const uint8_t* reply, size_t size)
{
    const SP::CommandSizes* sizes = SP::findCommand(command);
    if (!sizes || sizes->reply == 0 || reply == nullptr || size < SP::kMinReplySize) return false;
    if (command != SP::kCmdChannel9) return size == sizes->reply;
    if (size < SP::kChannelData) return false;
    const uint64_t announced = Wire::getU32(reply + SP::kChannelDataLength);
    return size == SP::kChannelData + announced;
}

VdResult Check(int32_t command, const uint8_t* reply, size_t size)
{
    if (!HasExpectedLength(command, reply, size)) return VDAPI_E_INTERNAL;
    return Wire::getU32(reply + SP::kReplyResult);
}

VdeServiceVersion Version(const uint8_t* reply)
{
    return {Wire::getU32(reply + SP::kVersionMajor), Wire::getU32(reply + SP::kVersionMinor),
            Wire::getU32(reply + SP::kVersionBugfix), Wire::getU32(reply + SP::kVersionBuild)};
}

int64_t NumericValue(const uint8_t* reply) { return Wire::getI64(reply + SP::kNumericValue); }

uint32_t AttachHandle(const uint8_t* reply) { return Wire::getU32(reply + 8); }

bool StringValue(const uint8_t* reply, std::string& text)
{
    text = Wire::getName(reply + SP::kStringText, SP::kStringTextField);
    if (text.size() < SP::kStringTextField) return true;
    text.clear();
    return false;
}

bool ListNames(const uint8_t* reply, std::string& mutexName, std::string& sharedMemName)
{
    mutexName = Wire::getUtf16Name(reply + SP::kMutexName, SP::kListNameUnits);
    sharedMemName = Wire::getUtf16Name(reply + SP::kSharedMemName, SP::kListNameUnits);
    if (mutexName.size() < SP::kListNameUnits && sharedMemName.size() < SP::kListNameUnits) return true;
    mutexName.clear();
    sharedMemName.clear();
    return false;
}

} // namespace ServiceReply
} // namespace Vdapi
