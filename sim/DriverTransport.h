// The simulated kernel drivers' transport: a driver connection's requests over its socket, over
// the shared-memory slot it may move to, and request batches, each request answered from the
// simulator's state with the injected faults applied.
#pragma once

#include "devices/platform/posix/DriverSlot.h"
#include "sim/ConnectionPool.h"

#include <atomic>
#include <string>
#include <vector>

namespace vdsim {

class DriverTransport {
public:
    DriverTransport(SimState& state, ConnectionPool& pool) : state_(state), pool_(pool) {}

    /// Serves a driver connection until the client or the simulator goes.
    void serve(Connection& c);

    /// The driver endpoints a card serves while plugged in, and the path of each.
    std::vector<Endpoint> endpointsOf(size_t device);
    static std::string pathOf(const Endpoint& ep);
    /// Lists the card's endpoints with the pool; false with `error` set when one cannot be made.
    bool listen(size_t device, std::string& error);

    /// Driver connections made from now on may (or may not) move to a shared-memory slot.
    void allowSlots(bool allowed) { slotsAllowed_.store(allowed); }
    /// Request batches are answered, or refused as an unknown request.
    void takeBatches(bool taken) { batchesTaken_.store(taken); }

private:
    /// Serves a driver connection's shared-memory slot until the client or the simulator goes.
    void serveSlot(Connection& c, Vdapi::DriverSlot& slot);
    /// Creates a slot for the connection and sends the grant with its file. Returns false when
    /// the connection broke; `slot` stays invalid when the slot was refused.
    bool grantSlot(Connection& c, const std::vector<uint8_t>& input, Vdapi::DriverSlot& slot);
    /// One driver request as both transports serve it: fault rules, answer, corruption.
    /// `stopping` is set when the simulator stopped during an injected delay.
    DriverReply answer(Connection& c, uint32_t code, const std::vector<uint8_t>& input, uint32_t outputCapacity,
                       bool& stopping);
    /// A request batch: each request answered by answer() in order, the answers packed in one
    /// reply. A malformed batch is refused whole with kErrorInvalidParameter.
    DriverReply answerBatch(Connection& c, const std::vector<uint8_t>& input, uint32_t outputCapacity,
                            bool& stopping);

    SimState& state_;
    ConnectionPool& pool_;
    std::atomic<bool> slotsAllowed_{true}; // driver connections may move to a shared-memory slot
    std::atomic<bool> batchesTaken_{true}; // request batches are answered (else: unknown request)
};

} // namespace vdsim
