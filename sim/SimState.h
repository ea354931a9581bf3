// Run-time state of the simulator: the rig as changed by control commands, which function
// blocks and Ethernet-device ports are held by whom, injected faults and per-request-kind
// counters. Thread-safe: every connection thread and the control channel share one SimState.
#pragma once

#include "devices/pcie/DriverProtocol.h"
#include "sim/Rig.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace vdsim {

/// Kinds of function block a simulated card has; the driver's block identifiers encode them.
enum class BlockType : uint32_t { Core = 1, Dma = 2, Receive = 3, Transmit = 4, Demod = 5, Mod = 6, Network = 7 };

/// Identifier pair of a block: id1 = kBlockIdBase | type, id2 = 0x100 + port (0 for the core).
inline constexpr uint32_t kBlockIdBase = 0xB10C0000;
Vdapi::DriverProtocol::BlockId blockId(BlockType type, int port);
/// Decodes an identifier pair; false when it names no block kind.
bool decodeBlockId(const Vdapi::DriverProtocol::BlockId& id, BlockType& type, int& port);
/// Blocks a port has (by its capabilities) for a role; empty when the role does not apply.
std::vector<BlockType> blocksForRole(const PortSpec& port, int32_t role);
/// True when the port has a block of this type.
bool portHasBlock(const PortSpec& port, BlockType type);

/// The connection id that stands for "another user" (control-socket holds).
inline constexpr uint64_t kOtherUser = 0;

/// What the fault rules decide for one request.
struct FaultDecision {
    int delayMs = 0;
    std::optional<uint32_t> failWith; ///< Windows error (drivers) or result code (service)
    bool corrupt = false;             ///< answer with a reply of the wrong length
};

class SimState {
public:
    explicit SimState(Rig rig);

    /// Guards everything returned by rig() and the block holds. Handlers lock it for the
    /// duration of one request; it is never held while doing socket I/O or waiting.
    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(mutex_); }
    /// The rig including run-time changes (link speeds, plugged state). Caller holds lock().
    Rig& rig() { return rig_; }
    /// Plugged state of card `device`. Caller holds lock().
    bool plugged(size_t device) const { return plugged_.at(device); }
    void setPlugged(size_t device, bool on) { plugged_.at(device) = on; }
    /// Plugged state of the service's Ethernet device `index` (`vdsimctl unplug` takes one
    /// off the list and refuses attaches to its ports). Caller holds lock().
    bool servicePlugged(size_t index) const { return servicePlugged_.at(index); }
    void setServicePlugged(size_t index, bool on) { servicePlugged_.at(index) = on; }

    // ---- Exclusive access (caller holds lock()) ----
    /// Acquires every block in `blocks` for `holder`, all or nothing. Returns 0 or
    /// kErrHeldByOtherUser.
    uint32_t acquire(size_t device, const std::vector<Vdapi::DriverProtocol::BlockId>& blocks, uint64_t holder);
    /// Releases blocks held by `holder`; a block held by someone else answers kErrHeldByOtherUser
    /// (the others are still released); a free block is fine.
    uint32_t release(size_t device, const std::vector<Vdapi::DriverProtocol::BlockId>& blocks, uint64_t holder);
    /// 0 when `holder` could acquire all blocks now, else kErrHeldByOtherUser.
    uint32_t probe(size_t device, const std::vector<Vdapi::DriverProtocol::BlockId>& blocks, uint64_t holder) const;
    /// Drops every hold of a connection (its handle or pipe closed), and the Ethernet-device
    /// port handles it opened.
    void releaseAll(uint64_t holder);
    /// Drops every hold on a card (unplugged).
    void releaseDevice(size_t device);
    /// Number of blocks currently held on a card (tests, status).
    size_t holdCount(size_t device) const;

    // ---- Ethernet-device ports, arbitrated by the device service (caller holds lock()) ----
    // A service client opens a port (serial, 1-based port) and gets a handle; through the
    // handle it acquires, releases or probes the port. A port is held by one connection at a
    // time (kOtherUser for a control-socket hold). Results are the device layer's codes.
    /// Most port handles open at once, across all connections.
    static constexpr size_t kMaxEthernetHandles = 4096;
    /// A new handle, distinct from every other open handle, owned by `connection`. 0 (never a
    /// handle) when kMaxEthernetHandles are open.
    uint32_t openEthernetPort(uint64_t connection, int64_t serial, int32_t port);
    /// Access mode on the wire: 0 acquire, 1 release, 2 probe. 0; VDAPI_E_INVALID_ARG for a
    /// handle that `connection` does not own for (serial, port); VDAPI_E_NOT_SUPPORTED for
    /// another mode; VDAPI_E_IN_USE when another connection holds the port (release included).
    uint32_t ethernetPortAccess(uint64_t connection, int64_t serial, int32_t port, uint32_t handle, uint32_t mode);
    /// Closes a handle; the port's hold ends with the handle that acquired it. Errors as
    /// ethernetPortAccess.
    uint32_t closeEthernetPort(uint64_t connection, int64_t serial, int32_t port, uint32_t handle);
    /// Holds or frees a port for kOtherUser. VDAPI_E_IN_USE when a client connection holds it.
    uint32_t holdEthernetPort(int64_t serial, int32_t port, bool hold);
    /// Ports of an Ethernet device currently held.
    size_t ethernetHoldCount(int64_t serial) const;

    // ---- Faults and counters (locks internally) ----
    /// Counts one request of `kind` and applies the rules set for it (or for every kind).
    FaultDecision beginRequest(const std::string& kind);
    void failNext(const std::string& kind, int count, uint32_t error);
    void corruptNext(const std::string& kind, int count);
    /// Delays every answer of `kind` ("" = every kind) by `ms`; 0 removes the delay.
    void setDelay(const std::string& kind, int ms);
    /// Counts an event that is not a request (e.g. "open" for a driver connection); no faults.
    void countEvent(const std::string& kind);

    /// Byte written into every reply byte that the record layouts leave open (-1: zeros, the
    /// default). Any thread; see `vdsimctl fill-open`.
    int openFill() const { return openFill_.load(); }
    void setOpenFill(int byte) { openFill_.store(byte); }
    std::map<std::string, uint64_t> counters();
    void resetCounters();

private:
    using HoldKey = std::tuple<size_t, uint32_t, uint32_t>;

    std::mutex mutex_;
    Rig rig_;                               // guarded by mutex_
    std::vector<bool> plugged_;             // guarded by mutex_
    std::vector<bool> servicePlugged_;      // guarded by mutex_
    std::map<HoldKey, uint64_t> holds_;     // guarded by mutex_: block -> holding connection

    using EthernetPort = std::pair<int64_t, int32_t>; // serial, 1-based port
    struct EthernetHandle {
        uint64_t connection = 0;
        EthernetPort port;
    };
    struct EthernetHold {
        uint64_t connection = 0;
        uint32_t handle = 0; // the handle that acquired it; 0 for a control-socket hold
    };
    /// The handle's record when `connection` owns it for `port`; null otherwise.
    const EthernetHandle* ownedHandle(uint64_t connection, const EthernetPort& port, uint32_t handle) const;
    std::map<uint32_t, EthernetHandle> ethernetHandles_;   // guarded by mutex_
    std::map<EthernetPort, EthernetHold> ethernetHolds_;   // guarded by mutex_
    uint32_t lastEthernetHandle_ = 0x5E000000;             // guarded by mutex_

    std::mutex faultMutex_; // never taken together with mutex_
    struct CountedRule {
        int remaining = 0;
        uint32_t error = 0;
    };
    std::map<std::string, CountedRule> fails_;   // guarded by faultMutex_
    std::map<std::string, int> corrupts_;        // guarded by faultMutex_
    std::map<std::string, int> delays_;          // guarded by faultMutex_; "" = every kind
    std::map<std::string, uint64_t> counters_;   // guarded by faultMutex_
    std::atomic<int> openFill_{-1};
};

/// Request-kind name of a driver request code, e.g. "0xafc86ee2".
std::string driverKind(uint32_t code);
/// Request-kind name of a service command, e.g. "svc:0".
std::string serviceKind(int32_t command);

} // namespace vdsim
