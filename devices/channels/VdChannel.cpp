// Shared attach checks, real attach and detach of port channels.
#include "devices/channels/VdChannel.h"

#include "devices/IoConfigTable.h"
#include "devices/pcie/PcieDevice.h"

#include <chrono>
#include <thread>

namespace Vdapi {

namespace {

constexpr int kDetachLockTries = 10;
constexpr auto kDetachLockRetry = std::chrono::milliseconds(10);

} // namespace

VdChannel::~VdChannel() = default;

bool VdChannel::IsAttached() const
{
    std::lock_guard<std::mutex> lock(m_use);
    return m_impl != nullptr;
}

HwFunctionDescriptor VdChannel::Port() const
{
    std::lock_guard<std::mutex> lock(m_use);
    return m_port;
}

std::optional<ImplChannelKind> VdChannel::ImplKind() const
{
    std::lock_guard<std::mutex> lock(m_use);
    if (!m_impl)
        return std::nullopt;
    return m_impl->Kind();
}

VdResult VdChannel::CheckAttach(VdDevice* device, int port) const
{
    if (m_impl)
        return VDAPI_E_ATTACHED;
    if (!device || !device->IsAttached())
        return VDAPI_E_DEVICE;
    if (device->Implementation()) {
        DeviceDescriptor descriptor;
        device->GetDescriptor(descriptor);
        if (descriptor.firmwareStatus == kFirmwareObsolete)
            return VDAPI_E_OBSOLETE_FW;
        if (descriptor.firmwareStatus == kFirmwareTainted)
            return VDAPI_E_TAINTED_FW;
    }
    const IDevice* active = device->Implementation() ? device->Implementation().get() : device->Bb2Device();
    if (port < 1 || port > active->NumPorts())
        return VDAPI_E_NO_SUCH_PORT;
    return VDAPI_OK;
}

VdResult VdChannel::AttachImpl(VdDevice& device, int port, ImplChannelKind kind, bool exclusive)
{
    return AdoptImpl(device, port, std::make_unique<ImplChannel>(kind, device.Implementation(), port - 1), exclusive);
}

VdResult VdChannel::AttachBb2Impl(VdDevice& device, int port, ImplChannelKind kind, bool exclusive)
{
    auto* card = dynamic_cast<PcieDevice*>(device.Bb2Device());
    if (!card || !card->Proxy())
        return VDAPI_E_DEVICE;
    auto proxy = std::make_unique<VdBb2Dal>();
    const VdResult opened = proxy->Open(card->Proxy()->Index());
    if (!isSuccess(opened))
        return opened;
    return AdoptImpl(device, port, std::make_unique<ImplChannel>(kind, std::move(proxy), port - 1), exclusive);
}

VdResult VdChannel::AdoptImpl(VdDevice& device, int port, std::unique_ptr<ImplChannel> channel, bool exclusive)
{
    const VdResult rc = channel->Attach(exclusive);
    if (!isSuccess(rc))
        return rc;
    m_impl = std::move(channel);
    const HwFunctionDescriptor* cached = device.CachedPort(port);
    m_port = cached ? *cached : HwFunctionDescriptor();
    return rc;
}

VdResult VdChannel::DetachImpl(int flags, bool output)
{
    std::unique_lock<std::mutex> lock(m_use, std::try_to_lock);
    for (int tries = 1; !lock.owns_lock(); ++tries) {
        if (tries >= kDetachLockTries)
            return VDAPI_E_TIMEOUT;
        std::this_thread::sleep_for(kDetachLockRetry);
        lock.try_lock();
    }
    if (!m_impl)
        return VDAPI_E_NOT_ATTACHED;
    if (output && (flags & (kDetachInstant | kDetachFinish)) == (kDetachInstant | kDetachFinish))
        return VDAPI_E_INVALID_FLAGS;
    if (m_impl->IsActive())
        m_impl->Stop((flags & kDetachInstant) != 0);
    m_impl.reset();
    m_port = HwFunctionDescriptor();
    return VDAPI_OK;
}

VdResult ReadPortDirection(VdDevice& device, int port, int& value)
{
    int subValue = -1;
    int64_t par1 = -1, par2 = -1;
    return device.GetIoConfig(port, kIoDir, value, subValue, par1, par2);
}

} // namespace Vdapi
