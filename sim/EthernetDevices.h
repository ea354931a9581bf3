// The network side of the rig's Ethernet-attached devices: each answers WS-Discovery probes
// for "Vdapi:VDE" on the discovery group and serves its remote calls on its own IPv4 address,
// port 8000. An address that cannot be bound (outside a private test network) is skipped with
// a log line; the rest of the simulator serves on regardless.
//
// One thread per device that could bind, polling its UDP and TCP sockets and the stop pipe;
// requests of one device are served one after the other. Faults come from SimState under the
// request kinds "vde:probe|attach|getdescriptor|detach|getioconfig:SERIAL".
#pragma once

#include "sim/SimState.h"
#include "sim/SocketIo.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vdsim {

class EthernetDevices {
public:
    /// Most probe message ids kept for the "vde probes" control command.
    static constexpr size_t kMaxProbeLog = 1024;

    explicit EthernetDevices(SimState& state);
    ~EthernetDevices();
    EthernetDevices(const EthernetDevices&) = delete;
    EthernetDevices& operator=(const EthernetDevices&) = delete;

    /// Binds every device that can be bound and starts serving it. `log` receives one line per
    /// device that is skipped or served.
    void start(void (*log)(const std::string&));
    /// Stops and joins every device thread. Idempotent.
    void stop();

    /// Control commands after "vde": "xaddrs SERIAL TEXT|default", "probes", "probes reset",
    /// "bound". Answers "ok ..." or "error: ...".
    std::string control(const std::vector<std::string>& args);

    // ---- Used by the SOAP operations of a device (called on its thread) ----
    struct DeviceCall {
        EthernetDevices* owner = nullptr;
        size_t index = 0;   ///< in rig().service.devices
        int64_t serial = 0;
    };
    /// Applies the fault rules of `op` for the device; returns them after any delay. stopped is
    /// set when the simulator stops during the delay.
    FaultDecision beginCall(const DeviceCall& call, const char* op, bool& stopped);
    SimState& state() { return state_; }
    uint32_t nextDeviceId() { return ++lastDeviceId_; }

private:
    struct Device {
        size_t index = 0;
        int64_t serial = 0;
        std::string ip;
        UniqueFd udp, tcp;
        std::thread thread;
    };

    void serve(Device& d);
    void answerProbe(Device& d);
    void serveCall(Device& d, UniqueFd connection);
    /// Waits ms unless stopping; true when stopping.
    bool waitStop(int ms);

    SimState& state_;
    UniqueFd stopRead_, stopWrite_; // written once at stop, never drained: wakes every poll

    // Lock order: mutex_ is taken alone, never together with SimState's mutexes.

    std::mutex mutex_;
    std::condition_variable stopCv_;
    bool stopping_ = false;                       // guarded by mutex_
    std::vector<std::unique_ptr<Device>> devices_; // guarded by mutex_ (the threads touch only their own)
    std::map<int64_t, std::string> xaddrs_;       // guarded by mutex_: serial -> XAddrs override
    std::vector<std::string> probeIds_;           // guarded by mutex_: message ids, arrival order
    std::atomic<uint32_t> lastDeviceId_{0};
};

} // namespace vdsim
