// Answers the device service's commands on "VdeRecvPipe" from the simulator's state, with
// the layouts of the service protocol header.
#pragma once

#include "sim/SimState.h"

#include <cstdint>
#include <vector>

namespace vdsim {

struct ServiceAnswer {
    bool hasReply = true;      ///< false for the goodbye command
    std::vector<uint8_t> reply;
    bool refreshList = false;  ///< command 11 asked for the list to be published again
};

/// Answers one request payload arriving on pipe connection `connection` (the holder of the
/// Ethernet-device ports it acquires). Never throws for bad input: a payload shorter than 4
/// bytes or of the wrong size for its command gets an 8-byte reply with VDAPI_E_INVALID_ARG,
/// an unknown command one with VDAPI_E_NOT_SUPPORTED. The port commands answer
/// VDAPI_E_NO_SUCH_DEVICE (unknown serial, or an address that is not the device's),
/// VDAPI_E_NO_SUCH_PORT, VDAPI_E_INVALID_ARG (a handle this connection does not own for that
/// port), VDAPI_E_IN_USE (another connection holds the port) or VDAPI_E_OUT_OF_RESOURCES (too
/// many handles open).
ServiceAnswer answerServiceRequest(SimState& state, const std::vector<uint8_t>& request, uint64_t connection);

/// Overwrites with `fill` the reply bytes the layout leaves open: word 0 of every reply and the
/// two unread words of the numeric-property reply.
void fillOpenServiceBytes(int32_t command, std::vector<uint8_t>& reply, uint8_t fill);

/// The 8-byte (or `size`-byte) reply carrying only a result code.
std::vector<uint8_t> serviceResultReply(uint32_t result, size_t size = 8);

} // namespace vdsim
