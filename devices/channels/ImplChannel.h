// Implementation channels behind VdInpChannel/VdOutpChannel: the rule that picks one for a port
// and the part of its attach this layer needs, claiming and releasing the port's hardware.
#pragma once

#include "devices/IDevice.h"
#include "devices/VdCaps.h"
#include "devices/ExclusiveAccess.h"
#include "devices/pcie/VdPcieProxyCORE.h"

#include <memory>
#include <optional>

namespace Vdapi {

enum class ImplChannelKind {
    // input
    FrameBufferInput,
    AsiSdiInput,
    Bb2AsiSdiInput,
    Bb2Probe,
    SpiInput,
    NicInput,
    Bb2IpInput,
    IpInput,
    DeviceDemod,
    DemodInput,
    MemorylessTsInput,
    // output
    FrameBufferOutput,
    AsiSdiOutput,
    IpOutput,
    ModOutput,
};

/// The input channel a real attach uses for a port with `caps` on a device of `category`;
/// `bb2Style` is the device's UsesBb2Channels(). Empty when no rule matches.
std::optional<ImplChannelKind> ChooseInputChannel(const VdCaps& caps, int32_t category, bool bb2Style);
/// The output channel for a port: MATRIX frame buffer, ASI/SDI, IP, then MOD or PHASENOISE
/// modulator. Empty when none matches.
std::optional<ImplChannelKind> ChooseOutputChannel(const VdCaps& caps);
/// Which of the port's function blocks a channel of this kind claims.
DriverProtocol::BlockRole ClaimRole(ImplChannelKind kind);

/// One attached implementation channel. Holds the family device (or, for a Bb2 card, a driver
/// handle of its own) so that its claim outlives whatever the application detaches first.
class ImplChannel {
public:
    /// A channel on port (0-based) of a family device.
    ImplChannel(ImplChannelKind kind, std::shared_ptr<IDevice> device, int port);
    /// A channel on port (0-based) of a Bb2 card, claiming through its own open proxy.
    ImplChannel(ImplChannelKind kind, std::unique_ptr<VdProxyCORE> ownProxy, int port);
    /// Stops (releasing the claim) when still active.
    ~ImplChannel();
    ImplChannel(const ImplChannel&) = delete;
    ImplChannel& operator=(const ImplChannel&) = delete;

    /// With exclusive set, acquires the port's blocks for this kind, all or nothing; without
    /// it, claims nothing. The binding's error (VDAPI_E_NOT_SUPPORTED for a family without
    /// exclusive access) or the acquire's (VDAPI_E_IN_USE).
    VdResult Attach(bool exclusive);
    /// Ends streaming and releases the claim. `instant` drops buffered data at once; there is
    /// none on this layer's road, so both ways release at once.
    void Stop(bool instant);
    /// True while the channel holds a claim.
    bool IsActive() const { return m_claim != nullptr; }
    ImplChannelKind Kind() const { return m_kind; }

private:
    VdResult Bind(std::unique_ptr<IExclusiveAccess>& access);

    ImplChannelKind m_kind;
    std::shared_ptr<IDevice> m_device;       // keeps the device's driver handle open
    std::unique_ptr<VdProxyCORE> m_ownProxy; // Bb2: the handle the claim is made through
    int m_port;
    std::unique_ptr<IExclusiveAccess> m_claim; // set while claimed
};

} // namespace Vdapi
