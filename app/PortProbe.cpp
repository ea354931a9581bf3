// Port availability probe: device attach, link of IP ports, input and output channel attach.
#include "app/PortProbe.h"

#include "devices/CapabilityTable.h"
#include "devices/VdDevice.h"
#include "devices/channels/VdInpChannel.h"
#include "devices/channels/VdOutpChannel.h"

namespace Halvix {

namespace {

// Devices of this type are probed with a full exclusive input attach instead of a probe-only one.
constexpr int32_t kRealAttachProbeType = 331;

} // namespace

bool isPortAvailable(const Vdapi::HwFunctionDescriptor& port)
{
    using namespace Vdapi;
    VdDeviceInt device;
    if (device.AttachBySerial(port.device.serial, false) != VDAPI_OK) {
        device.Detach();
        return false;
    }
    if (port.caps.Has(kCapIp)) {
        uint8_t flag = 0;
        int32_t speed = 5;
        if (device.GetLinkSpeed(port.port, flag, speed) == VDAPI_OK && speed == 0)
            return false; // no link: no channel is tried
    }
    VdInpChannel input;
    const VdResult in = input.Attach(&device, port.port, true, device.TypeNumber() != kRealAttachProbeType);
    input.Detach(kDetachInstant);
    VdOutpChannel output;
    const VdResult out = output.Attach(&device, port.port, true);
    output.Detach(kDetachInstant);
    device.Detach();
    return in == VDAPI_OK || out == VDAPI_OK;
}

} // namespace Halvix
