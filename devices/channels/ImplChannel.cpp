// Choice of implementation channel by port capabilities, and claiming its blocks.
#include "devices/channels/ImplChannel.h"

#include "devices/DeviceDescriptor.h"
#include "devices/channels/ChannelCaps.h"

namespace Vdapi {

namespace DP = DriverProtocol;
namespace CC = ChannelCaps;

std::optional<ImplChannelKind> ChooseInputChannel(const VdCaps& caps, int32_t category, bool bb2Style)
{
    if (caps.Has(CC::kMatrix))
        return ImplChannelKind::FrameBufferInput;
    if (caps.Has(CC::kAsi))
        return bb2Style ? ImplChannelKind::Bb2AsiSdiInput : ImplChannelKind::AsiSdiInput;
    if (caps.Has(CC::kVendorSt) && bb2Style)
        return ImplChannelKind::Bb2Probe;
    if (caps.Has(CC::kSpi))
        return ImplChannelKind::SpiInput;
    if (caps.Has(CC::kIp)) {
        if (category == kCategoryNic)
            return ImplChannelKind::NicInput;
        return bb2Style ? ImplChannelKind::Bb2IpInput : ImplChannelKind::IpInput;
    }
    if (caps.Has(CC::kDemod))
        return bb2Style ? ImplChannelKind::DeviceDemod : ImplChannelKind::DemodInput;
    if (caps.Has(CC::kIfAdc))
        return ImplChannelKind::DemodInput;
    if (caps.Has(CC::kAvEnc))
        return ImplChannelKind::MemorylessTsInput;
    return std::nullopt;
}

std::optional<ImplChannelKind> ChooseOutputChannel(const VdCaps& caps)
{
    if (caps.Has(CC::kMatrix))
        return ImplChannelKind::FrameBufferOutput;
    if (caps.Has(CC::kAsi) || caps.Has(CC::kSdi))
        return ImplChannelKind::AsiSdiOutput;
    if (caps.Has(CC::kIp))
        return ImplChannelKind::IpOutput;
    if (caps.Has(CC::kMod) || caps.Has(CC::kPhaseNoise))
        return ImplChannelKind::ModOutput;
    return std::nullopt;
}

DP::BlockRole ClaimRole(ImplChannelKind kind)
{
    switch (kind) {
    case ImplChannelKind::NicInput:
    case ImplChannelKind::Bb2IpInput:
    case ImplChannelKind::IpInput:
    case ImplChannelKind::IpOutput: return DP::kRoleNetwork;
    case ImplChannelKind::DeviceDemod:
    case ImplChannelKind::DemodInput: return DP::kRoleDemod;
    case ImplChannelKind::FrameBufferOutput:
    case ImplChannelKind::AsiSdiOutput: return DP::kRoleTransmit;
    case ImplChannelKind::ModOutput: return DP::kRoleMod;
    default: return DP::kRoleReceive;
    }
}

ImplChannel::ImplChannel(ImplChannelKind kind, std::shared_ptr<IDevice> device, int port)
    : m_kind(kind), m_device(std::move(device)), m_port(port)
{
}

ImplChannel::ImplChannel(ImplChannelKind kind, std::unique_ptr<VdProxyCORE> ownProxy, int port)
    : m_kind(kind), m_ownProxy(std::move(ownProxy)), m_port(port)
{
}

ImplChannel::~ImplChannel()
{
    Stop(true);
}

VdResult ImplChannel::Bind(std::unique_ptr<IExclusiveAccess>& access)
{
    if (m_device)
        return m_device->BindExclusiveAccess(m_port, ClaimRole(m_kind), access);
    if (!m_ownProxy || !m_ownProxy->IsOpen())
        return VDAPI_E_DEV_DRIVER;
    std::vector<DP::BlockId> ids;
    const VdResult rc = m_ownProxy->ListBlocks(m_port, ClaimRole(m_kind), ids);
    if (isSuccess(rc))
        access = std::make_unique<FunctionBlockCollection>(m_ownProxy->Driver(), ids);
    return rc;
}

VdResult ImplChannel::Attach(bool exclusive)
{
    if (!exclusive)
        return VDAPI_OK;
    std::unique_ptr<IExclusiveAccess> access;
    const VdResult bound = Bind(access);
    if (!isSuccess(bound))
        return bound;
    const VdResult rc = access->Exclusive(kExclAcquire);
    if (!isSuccess(rc))
        return rc;
    m_claim = std::move(access);
    return rc;
}

void ImplChannel::Stop(bool)
{
    if (!m_claim)
        return;
    m_claim->Exclusive(kExclRelease); // a failed release is the driver's to clean up on close
    m_claim.reset();
}

} // namespace Vdapi
