// One WS-Discovery pass over one local adapter: a "Vdapi:VDE" probe sent to the discovery
// group through that adapter, and the probe matches that answer it turned into list entries.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/vde/ServiceProtocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Vdapi::VdeDiscovery {

/// Limit for each send and each receive of a pass; a pass also ends when no usable probe
/// match has arrived for this long, so a receive that keeps failing at once cannot hold it.
inline constexpr int kReceiveLimitSeconds = 1;
/// Probe counter of the first pass of an enumeration; each further pass adds 1.
inline constexpr uint32_t kFirstProbeCounter = 208;

/// Message id "%08x-%04x-%04x%02x" of seconds (low 32 bits), the low and high 16 bits of the
/// millisecond tick and the probe counter (its low 8 bits when it has grown past two digits).
std::string MessageId(uint32_t seconds, uint32_t tickMs, uint32_t probeCounter);

/// Reads "http://A.B.C.D:PORT" from an XAddrs text. False, with address 0.0.0.0 and port 0,
/// for a null text, one that does not match, or an octet above 255 or port above 65535.
bool ParseXAddrs(const char* text, std::array<uint8_t, 4>& address, int32_t& port);

/// Reads one ProbeMatches message (a bare SOAP envelope) and appends the entries of its matches,
/// at most `room` in all. Returns the toolkit's error code (0 when the message was read).
int ParseProbeMatches(const uint8_t* data, size_t size, size_t room,
                      std::vector<ServiceProtocol::VdeListEntry>& out);

/// Runs one pass bound to adapterIpv4 and appends up to `room` entries to found. Returns
/// VDAPI_OK when it found a device, or none and ended with a plain time-out;
/// VDAPI_E_COMMUNICATION when the probe could not be sent or receiving ended otherwise
/// (found then holds whatever arrived; the caller drops it); VDAPI_E_OUT_OF_MEM.
VdResult RunPass(const uint8_t (&adapterIpv4)[4], uint32_t probeCounter, size_t room,
                 std::vector<ServiceProtocol::VdeListEntry>& found);

} // namespace Vdapi::VdeDiscovery
