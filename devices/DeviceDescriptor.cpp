// Direction rules shared by every family: input/output counting and a port's chanType.
#include "devices/DeviceDescriptor.h"

#include "devices/CapabilityTable.h"
#include "devices/IoConfigTable.h"
#include "devices/VdapiResult.h"

namespace Vdapi {

VdResult CountInputsOutputs(int portCount, const std::function<VdCaps(int port)>& capsOf,
                            const IoDirReader& readIoDir, int32_t& numInputs, int32_t& numOutputs)
{
    numInputs = 0;
    numOutputs = 0;
    for (int p = 0; p < portCount; ++p) {
        const VdCaps c = capsOf(p);
        const bool in = c.Has(kCapInput);
        const bool out = c.Has(kCapOutput);
        if (in && !out) {
            ++numInputs;
        } else if (out && !in) {
            ++numOutputs;
        } else if (c.Has(kCapIp)) {
            ++numInputs;
            ++numOutputs;
        } else {
            IoDirValue dir;
            const uint32_t rc = readIoDir(p, dir);
            if (!isSuccess(rc))
                return rc;
            if (dir.value == kIoInput)
                ++numInputs;
            else if (dir.value == kIoOutput)
                ++numOutputs;
        }
    }
    return VDAPI_OK;
}

int32_t ChanTypeOf(const VdCaps& caps, int port, const IoDirReader& readIoDir)
{
    const bool in = caps.Has(kCapInput);
    const bool out = caps.Has(kCapOutput);
    const int32_t fallback = caps.Has(kCapIp) ? kChanIp : out ? kChanOutput : in ? kChanInput : kChanNone;
    const bool directionOpen = caps.Has(kCapDblBuf) || caps.Has(kCapLoopThr) || caps.Has(kCapDisabled) ||
                               (in && out);
    if (!directionOpen)
        return fallback;
    IoDirValue dir;
    if (!isSuccess(readIoDir(port, dir)))
        return kChanUnknown;
    switch (dir.value) {
    case kIoDisabled: return kChanNone;
    case kIoInput: return kChanInput;
    case kIoOutput:
        return dir.subValue == kIoDblBuf ? kChanDblBufOutput
             : dir.subValue == kIoLoopThr ? kChanLoopThrOutput
                                          : kChanOutput;
    default: return fallback;
    }
}

} // namespace Vdapi
