// The simulated device service: its pipe (served as a Unix socket), taken away and brought
// back on command, and the shared device list it publishes.
// Lock order: mutex_ -> the pool's mutexes; SimState's mutexes are leaves.
#pragma once

#include "sim/ConnectionPool.h"
#include "sim/SharedList.h"

#include <mutex>
#include <optional>
#include <string>

namespace vdsim {

class ServicePipe {
public:
    ServicePipe(SimState& state, ConnectionPool& pool);

    /// Creates the list objects, publishes the list and opens the pipe when the rig runs the
    /// service. False with `error` set when something cannot be made.
    bool create(std::string& error);
    /// Removes the list objects.
    void destroy();

    /// Serves a pipe connection until the client or the simulator goes.
    void serve(Connection& c);

    enum class Change { Done, Already, Failed };
    /// Takes the pipe away (its connections shut down) or brings it back (`error` set on Failed).
    Change setRunning(bool running, std::string& error);

    /// Publishes the list again from the state (after a change of its devices or of the fill).
    bool republish();
    /// Publishes with the given version word, count word, or both as they should be.
    bool publishVersion(uint32_t version);
    bool publishCount(int32_t count);
    bool publishRestored();

private:
    bool publish(); // caller holds mutex_

    SimState& state_;
    ConnectionPool& pool_;
    std::mutex mutex_;
    bool running_ = false;              // guarded by mutex_
    uint32_t listVersion_ = 1;          // guarded by mutex_
    std::optional<int32_t> listCount_;  // guarded by mutex_: count word override
    SharedList list_;                   // guarded by mutex_
};

} // namespace vdsim
