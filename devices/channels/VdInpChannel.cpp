// Input channel attach (probe-only and real) and detach.
#include "devices/channels/VdInpChannel.h"

#include "devices/IoConfigTable.h"
#include "devices/channels/ChannelCaps.h"

namespace Vdapi {

VdInpChannel::~VdInpChannel()
{
    if (IsAttached())
        Detach(kDetachInstant);
}

VdResult VdInpChannel::Attach(VdDevice* device, int port, bool exclusive, bool probeOnly)
{
    namespace CC = ChannelCaps;
    std::lock_guard<std::mutex> lock(m_use);
    const VdResult checked = CheckAttach(device, port);
    if (!isSuccess(checked))
        return checked;

    if (IDevice2* card = device->Bb2Device()) {
        // A Bb2 card answers for itself: its own probe, its own channel variants and handle.
        const VdCaps caps = card->PortCaps(port - 1);
        if (!caps.Has(CC::kInput))
            return VDAPI_E_NO_VD_INPUT;
        if (probeOnly)
            return card->ProbeExclusiveAccess(port - 1);
        const auto kind = ChooseInputChannel(caps, card->Category(), true);
        if (!kind)
            return VDAPI_E_NOT_SUPPORTED;
        return AttachBb2Impl(*device, port, *kind, exclusive);
    }

    const std::shared_ptr<IDevice> impl = device->Implementation();
    const VdCaps caps = impl->PortCaps(port - 1);
    if (!exclusive && caps.Has(CC::kIp))
        return VDAPI_E_EXCL_MANDATORY;
    if (!caps.Has(CC::kInput) && !caps.Has(CC::kIp))
        return VDAPI_E_NO_VD_INPUT;

    if (probeOnly) {
        if (caps.Has(CC::kIp))
            return VDAPI_OK; // an IP port's availability rests on its link
        if (caps.Has(CC::kOutput)) {
            int direction = -1;
            const VdResult read = ReadPortDirection(*device, port, direction);
            if (!isSuccess(read))
                return read;
            if (direction != kIoInput)
                return VDAPI_E_NO_VD_INPUT;
        }
        return impl->ProbeExclusiveAccess(port - 1);
    }

    const auto kind = ChooseInputChannel(caps, impl->Category(), impl->UsesBb2Channels());
    if (!kind)
        return VDAPI_E_NOT_SUPPORTED;
    return AttachImpl(*device, port, *kind, exclusive);
}

VdResult VdInpChannel::Detach(int flags)
{
    return DetachImpl(flags, false);
}

} // namespace Vdapi
