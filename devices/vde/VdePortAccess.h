// Exclusive access to a port of an Ethernet-attached device, arbitrated by the device service
// through its port commands (open a handle, set the access mode, close the handle).
#pragma once

#include "devices/IExclusiveAccess.h"
#include "devices/vde/VdeSvcClient.h"

#include <array>
#include <cstdint>
#include <optional>

namespace Vdapi {

/// The ports of an Ethernet-attached device are reached through the device service, which
/// arbitrates them between its client connections: a port is opened by the device's address,
/// serial and port + 1 (command 4, giving a handle), its access mode is set through that handle
/// (command 6: acquire, release, probe) and the handle is closed again (command 5). The whole
/// port is one unit, whatever the role of the channel that claims it.
class VdePortAccess : public IExclusiveAccess {
public:
    /// `port` is 0-based. `service` is the device's own, connected service client; its owner
    /// (the device's VdeHal) must outlive this object.
    VdePortAccess(VdeSvcClient& service, const std::array<uint8_t, 4>& ipv4, int64_t serial, int port);
    /// Gives up a claim still held (release, then close its handle).
    ~VdePortAccess() override;
    VdePortAccess(const VdePortAccess&) = delete;
    VdePortAccess& operator=(const VdePortAccess&) = delete;

    /// Acquire: opens a handle and acquires the port through it; on failure the handle is
    /// closed again; a second acquire while holding answers VDAPI_OK. Release: releases and
    /// closes the claiming handle (VDAPI_OK when nothing is held). Probe: opens a handle, asks
    /// in probe mode and closes it. Each returns the first failure of its steps and always
    /// closes what it opened. The service saying another user holds the port gives
    /// VDAPI_E_IN_USE (VDAPI_E_COMMUNICATION for a release); VDAPI_E_NOT_SUPPORTED for a
    /// command outside 1..3; VDAPI_E_NOT_INITIALIZED when the service client is not connected;
    /// otherwise the service's result (VDAPI_E_INTERNAL for a broken exchange).
    VdResult Exclusive(int32_t command) override;
    /// True while this object holds the port.
    bool IsClaimed() const { return claim_.has_value(); }

private:
    VdResult Open(uint32_t& handle);
    VdResult Close(uint32_t handle);
    VdResult Release();

    VdeSvcClient& service_; // not owned
    std::array<uint8_t, 4> ipv4_;
    int64_t serial_;
    int32_t portPlusOne_;
    std::optional<uint32_t> claim_; // the handle that acquired the port, while held
};

/// The service's answer to a port command, for exclusive-access `command`: its "held by another
/// user" answers (VDAPI_E_IN_USE, or the driver-style 0xE000000A) become VDAPI_E_IN_USE, or
/// VDAPI_E_COMMUNICATION for a release; anything else stays.
VdResult VdePortResult(VdResult serviceResult, int32_t command);

} // namespace Vdapi
