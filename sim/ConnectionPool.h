// The simulator's listening sockets and the pool of workers that serves their connections.
//
// A pool of workers takes turns at the listening sockets. The one whose turn it is (the leader)
// polls them all, accepts one connection, hands the turn to an idle worker (or starts one when
// none is idle) and then serves that connection itself for as long as it lasts: requests on one
// connection are strictly sequential, so a delayed answer holds up only its own client. A scan
// opens and closes a driver handle many times a second; serving on the thread that accepted
// saves waking another thread for each handle's first request, and kept workers save a new
// thread per handle. Every thread wakes on the stop pipe; stop() joins them all.
// Lock order: listenMutex_ -> connMutex_; workMutex_ and stopMutex_ are leaves.
#pragma once

#include "sim/DriverHandler.h"
#include "sim/SocketIo.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vdsim {

enum class ListenerKind { Driver, Service, Control };

/// One accepted connection: one driver handle, one service pipe client or one control client.
struct Connection {
    uint64_t id = 0;
    UniqueFd fd; ///< closed by the pool once served (or at stop when never served)
    ListenerKind kind = ListenerKind::Driver;
    Endpoint endpoint;
    std::atomic<bool> closing{false}; ///< retired: a slot request is not answered any more
};

class ConnectionPool {
public:
    using Serve = std::function<void(Connection&)>;
    /// `serve` runs on a worker for each accepted connection, as long as the connection lasts.
    explicit ConnectionPool(Serve serve) : serve_(std::move(serve)) {}
    ~ConnectionPool() { stop(); }
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    /// Makes the stop and wake pipes. False with `error` set when it cannot.
    bool open(std::string& error);
    /// Starts the first worker.
    void start();
    /// Wakes every thread, joins them and closes every connection and listening socket
    /// (their paths removed). Idempotent.
    void stop();

    bool addListener(const std::string& path, ListenerKind kind, const Endpoint& ep, std::string& error);
    /// Unlinks matching listeners' paths and shuts their open connections down.
    void retire(const std::function<bool(ListenerKind, const Endpoint&)>& matches);

    /// Readable once the simulator stops: every blocking wait watches it.
    int stopFd() const { return stopRead_.get(); }
    /// Waits `ms` unless the pool stops first; true when stopping.
    bool waitStop(int ms);

private:
    struct Listener {
        UniqueFd fd;
        std::string path;
        ListenerKind kind = ListenerKind::Driver;
        Endpoint endpoint;
        bool retired = false; // path removed; the acceptor closes the socket
    };

    /// The leader's turn: polls the listening sockets until it accepts a connection (null when
    /// stopping).
    Connection* acceptOne();
    /// A worker: waits for its turn as leader, accepts, serves, again, until stop().
    void workerLoop();
    void wakeAcceptor();

    Serve serve_;
    UniqueFd stopRead_, stopWrite_; // written once at stop, never drained: wakes every poll
    UniqueFd wakeRead_, wakeWrite_; // tells the acceptor that the listener set changed

    std::mutex stopMutex_;
    std::condition_variable stopCv_;
    bool stopping_ = false; // guarded by stopMutex_

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
