// Output channel attach (probe-only and real) and detach.
#include "devices/channels/VdOutpChannel.h"

#include "devices/IoConfigTable.h"
#include "devices/channels/ChannelCaps.h"

namespace Vdapi {

VdOutpChannel::~VdOutpChannel()
{
    if (IsAttached())
        Detach(kDetachInstant);
}

VdResult VdOutpChannel::Attach(VdDevice* device, int port, bool probeOnly)
{
    namespace CC = ChannelCaps;
    std::lock_guard<std::mutex> lock(m_use);
    const VdResult checked = CheckAttach(device, port);
    if (!isSuccess(checked))
        return checked;
    if (device->Bb2Device())
        return VDAPI_E_NOT_SUPPORTED;

    const std::shared_ptr<IDevice> impl = device->Implementation();
    const VdCaps caps = impl->PortCaps(port - 1);
    if (!caps.Has(CC::kOutput) && !caps.Has(CC::kIp) && !caps.Has(CC::kPhaseNoise))
        return VDAPI_E_NO_VD_OUTPUT;

    if (probeOnly) {
        if (caps.Has(CC::kIp))
            return VDAPI_OK; // an IP port's availability rests on its link
        if (caps.Has(CC::kInput) && caps.Has(CC::kOutput)) {
            int direction = -1;
            const VdResult read = ReadPortDirection(*device, port, direction);
            if (!isSuccess(read))
                return read;
            if (direction != kIoOutput)
                return VDAPI_E_NO_VD_OUTPUT;
        }
        return impl->ProbeExclusiveAccess(port - 1);
    }

    const auto kind = ChooseOutputChannel(caps);
    if (!kind)
        return VDAPI_E_NOT_SUPPORTED;
    return AttachImpl(*device, port, *kind, true);
}

VdResult VdOutpChannel::Detach(int flags)
{
    return DetachImpl(flags, true);
}

} // namespace Vdapi
