// The running simulator: serves every driver endpoint, the device-service pipe, the shared
// device list and the control socket below the run directory ($VDAPI_RUN_DIR).
//
// Threads: a pool of workers takes turns at the listening sockets. The one whose turn it is
// (the leader) polls them all, accepts one connection, hands the turn to an idle worker (or
// starts one when none is idle) and then serves that connection itself for as long as it lasts:
// requests on one connection are strictly sequential, so a delayed answer holds up only its own
// client. A scan opens and closes a driver handle many times a second; serving on the thread
// that accepted saves waking another thread for each handle's first request, and kept workers
// save a new thread per handle. Every thread wakes on the stop pipe; stop() joins them all.
// Lock order where mutexes nest: svcMutex_ -> listenMutex_ -> connMutex_; workMutex_ and
// SimState's mutexes are leaves.
#pragma once

#include "devices/platform/posix/DriverSlot.h"
#include "sim/DriverHandler.h"
#include "sim/EthernetDevices.h"
#include "sim/SharedList.h"
#include "sim/SimState.h"
#include "sim/SocketIo.h"

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vdsim {

class Simulator {
public:
    explicit Simulator(Rig rig);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    /// Creates the directories, sockets and list files and starts serving. Returns false with
    /// `error` set (everything created so far removed again) when something cannot be made.
    bool start(std::string& error);
    /// Stops serving, joins every thread and removes what start() created. Idempotent.
    void stop();
    /// Runs one control command line; answers "ok ..." or "error: why".
    std::string control(const std::string& line);

private:
    enum class Kind { Driver, Service, Control };
    struct Listener {
        UniqueFd fd;
        std::string path;
        Kind kind = Kind::Driver;
        Endpoint endpoint;
        bool retired = false; // path removed; the acceptor closes the socket
    };
    struct Connection {
        uint64_t id = 0;
        int fd = -1; // owned; closed by the serving thread under connMutex_
        Kind kind = Kind::Driver;
        Endpoint endpoint;
        std::atomic<bool> closing{false}; // retired: a slot request is not answered any more
    };

    /// The leader's turn: polls the listening sockets until it accepts a connection (null when
    /// stopping).
    Connection* acceptOne();
    /// A worker: waits for its turn as leader, accepts, serves, again, until stop().
    void workerLoop();
    void serve(Connection* c);
    void serveDriver(Connection& c);
    /// Serves a driver connection's shared-memory slot until the client or the simulator goes.
    void serveSlot(Connection& c, Vdapi::DriverSlot& slot);
    /// Creates a slot for the connection and sends the grant with its file. Returns false when
    /// the connection broke; `slot` stays invalid when the slot was refused.
    bool grantSlot(Connection& c, const std::vector<uint8_t>& input, Vdapi::DriverSlot& slot);
    /// One driver request as both transports serve it: fault rules, answer, corruption.
    /// `stopping` is set when the simulator stopped during an injected delay.
    DriverReply answerDriver(Connection& c, uint32_t code, const std::vector<uint8_t>& input,
                             uint32_t outputCapacity, bool& stopping);
    /// A request batch: each request answered by answerDriver in order, the answers packed in
    /// one reply. A malformed batch is refused whole with kErrorInvalidParameter.
    DriverReply answerBatch(Connection& c, const std::vector<uint8_t>& input, uint32_t outputCapacity,
                            bool& stopping);
    void serveService(Connection& c);
    void serveControl(Connection& c);
    /// Waits `ms` unless the simulator stops first; true when stopping.
    bool waitStop(int ms);

    std::vector<Endpoint> endpointsOf(size_t device);
    std::string pathOf(const Endpoint& ep) const;
    bool addListener(const std::string& path, Kind kind, const Endpoint& ep, std::string& error);
    /// Unlinks matching listeners' paths and shuts their open connections down.
    template <class Pred> void retire(Pred matches);
    bool publishList();

    std::string controlHold(const std::vector<std::string>& args, bool hold);
    /// hold/release of an Ethernet device's port (the whole port); caller holds state_.lock().
    std::string holdEthernetPort(const std::vector<std::string>& args, int64_t serial, int32_t port, bool hold);
    std::string controlPlug(const std::vector<std::string>& args, bool plug);
    std::string controlService(const std::vector<std::string>& args);
    std::string controlList(const std::vector<std::string>& args);
    std::string controlFastPath(const std::vector<std::string>& args);
    std::string controlBatches(const std::vector<std::string>& args);
    std::string controlFillOpen(const std::vector<std::string>& args);
    std::string controlVde(const std::vector<std::string>& args);

    SimState state_;
    EthernetDevices ethernet_{state_}; // the Ethernet devices' network side
    std::vector<std::string> createdDirs_; // removed in reverse order by stop()

    UniqueFd stopRead_, stopWrite_; // written once at stop, never drained: wakes every poll
    UniqueFd wakeRead_, wakeWrite_; // tells the acceptor that the listener set changed
    std::atomic<bool> slotsAllowed_{true}; // driver connections may move to a shared-memory slot
    std::atomic<bool> batchesTaken_{true}; // request batches are answered (else: unknown request)

    std::mutex stopMutex_;
    std::condition_variable stopCv_;
    bool stopping_ = false; // guarded by stopMutex_
    bool started_ = false;  // guarded by stopMutex_

    std::mutex svcMutex_;
    bool serviceRunning_ = false;     // guarded by svcMutex_
    uint32_t listVersion_ = 1;        // guarded by svcMutex_
    std::optional<int32_t> listCount_; // guarded by svcMutex_: count word override
    SharedList list_;                 // guarded by svcMutex_

    std::mutex listenMutex_;
    std::vector<std::unique_ptr<Listener>> listeners_; // guarded by listenMutex_

    std::mutex connMutex_;
    std::list<std::unique_ptr<Connection>> connections_; // guarded by connMutex_
    uint64_t nextConnectionId_ = 1;                       // guarded by connMutex_

    std::mutex workMutex_;
    std::condition_variable workCv_;
    bool leaderActive_ = false;        // guarded by workMutex_: a worker polls the listeners
    size_t idleWorkers_ = 0;           // guarded by workMutex_: waiting for their turn
    bool workersStop_ = false;         // guarded by workMutex_
    std::vector<std::thread> workers_; // guarded by workMutex_; joined by stop()
};

} // namespace vdsim
