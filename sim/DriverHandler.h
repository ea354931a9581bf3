// Answers kernel-driver requests of the PCIe, legacy PCI, Bb2 and USB drivers from the
// simulator's state, with the exact record layouts of the driver protocol headers.
#pragma once

#include "devices/platform/posix/DriverWire.h"
#include "sim/SimState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vdsim {

/// One served driver path: a device interface of a family, or a legacy Vda1xx-N name.
struct Endpoint {
    Family family = Family::Pcie;
    size_t device = 0;  ///< index into Rig::devices
    int function = 0;   ///< legacy: PCI function of the card this interface belongs to
    int index = 0;      ///< interface index (or N of the legacy name)
    bool legacyName = false;
};

struct DriverReply {
    uint32_t windowsError = 0; ///< 0 = success
    std::vector<uint8_t> output;
};

/// Overwrites with `fill` the bytes of a successful reply that its layout leaves open: the
/// information records' gaps and unread words, the property replies' first 8 bytes, the PCIe
/// I/O-configuration head and every I/O record's last 16 bytes.
void fillOpenDriverBytes(Family family, uint32_t code, std::vector<uint8_t>& output, uint8_t fill);

/// Answers one request. Never throws for bad input: malformed or short input gives
/// kErrorInvalidParameter (87), an unknown code kErrorInvalidFunction (1), a failed look-up
/// one of DriverProtocol's customer errors; an output larger than `outputCapacity` gives
/// kErrorInsufficientBuffer (122). `connection` identifies the handle for exclusive access.
DriverReply answerDriverRequest(SimState& state, const Endpoint& endpoint, uint64_t connection, uint32_t code,
                                const std::vector<uint8_t>& input, uint32_t outputCapacity);

// The request batch reader, shared with the device layer's batch writer.
using Vdapi::DriverWire::BatchItem;
using Vdapi::DriverWire::BatchParse;
using Vdapi::DriverWire::parseBatchRequest;

} // namespace vdsim
