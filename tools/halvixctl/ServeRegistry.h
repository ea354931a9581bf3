// The bricks that `halvixctl serve` holds: one session (connection and worker thread) per
// brick, its announcement, its last inventory, and the jobs (scan, quit) that the HTTP side
// hands to it.
#pragma once

#include "tools/gui/BrickConnection.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace halvixctl::serve {

/// What the HTTP side answers: a status and a JSON body text.
struct Reply {
    int status = 200;
    std::string body;

    /// {"error": message, "status": status}
    static Reply error(int status, const std::string& message);
};

/// The options of a scan requested through the API.
struct ScanOptions {
    bool nic = false; ///< include network adapters ("enableNicDeviceScan")
    bool dte = false; ///< include Ethernet-attached devices ("enableDteDeviceScan")
};

struct Settings {
    /// Scan every brick this often through its own scheduler ("schedule"); zero: never.
    std::chrono::milliseconds every{0};
    /// Longest wait for the reply to "scanDevices".
    std::chrono::milliseconds scanTimeout{std::chrono::minutes(5)};
    /// Longest wait for the reply to any other request, and for a brick to leave after "quit".
    std::chrono::milliseconds callTimeout{std::chrono::seconds(20)};
};

/// Writes one line to standard error; lines of different threads never mix.
void logLine(const std::string& text);

class BrickRegistry;

/// One connected brick. Its worker thread alone touches the connection: it answers the
/// announcement, runs the queued jobs one after the other and takes in the scheduled scans.
/// Everything other threads read is guarded by `mutex_`.
class BrickSession {
public:
    BrickSession(BrickRegistry& registry, int id, std::unique_ptr<gui::BrickConnection> connection,
                 std::string peer, const Settings& settings);
    /// Stops the worker and waits for it.
    ~BrickSession();
    BrickSession(const BrickSession&) = delete;
    BrickSession& operator=(const BrickSession&) = delete;

    int id() const { return id_; }
    /// The brick as the API lists it.
    nlohmann::json describe() const;
    /// The last report as the brick sent it (JSON text); nothing before the first scan.
    std::optional<std::string> inventory() const;
    /// The announced appId and pid; nothing before the announcement.
    std::optional<std::pair<std::string, int64_t>> identity() const;

    /// Queues a scan. The future is ready at once with 409 when a scan requested this way runs
    /// already; otherwise with the report (200), or 503 when the brick leaves, 504 on timeout,
    /// 502 when the brick answers with an error.
    std::future<Reply> scan(ScanOptions options);
    /// Queues "quit": the future holds 200 once the brick has disconnected (and is gone from
    /// the registry), 503 when it was gone already, 504 when it stays.
    std::future<Reply> quit();

    /// Takes over what an earlier session of the same brick knew (the last scan).
    void inherit(const BrickSession& earlier);
    /// Ends the worker soon (the connection is closed, pending jobs get 503).
    void requestStop();
    /// Waits for the worker to end. Not from the worker itself.
    void join();

private:
    struct Job {
        enum class Kind { Scan, Quit } kind = Kind::Scan;
        ScanOptions options;
        std::promise<Reply> promise;
    };
    /// Result of a request sent by the worker: the whole response, or why there is none.
    struct Outcome {
        gui::GuiResult response;
        bool stopped = false; ///< the worker was asked to end while waiting
    };

    void run();
    void handle(const gui::GuiResult& message);
    void runScan(ScanOptions options, std::promise<Reply>& promise);
    void runQuit(std::promise<Reply>& promise);
    /// Sends a request and waits for its response in short steps, so a stop request is seen.
    Outcome request(const std::string& method, const nlohmann::json& params, std::chrono::milliseconds timeout);
    /// Asks the brick's scheduler to run "scanDevices" after `delay`.
    void scheduleScan(std::chrono::milliseconds delay);
    void takeScheduledReport(const nlohmann::ordered_json& params);
    /// Reply for a request that got no response.
    Reply failedRequest(const Outcome& outcome, const std::string& what) const;
    std::string name() const { return "brick " + std::to_string(id_); }

    BrickRegistry& registry_;
    const int id_;
    const Settings settings_;
    std::unique_ptr<gui::BrickConnection> connection_; // worker thread only
    std::atomic<bool> stop_{false};

    // Scheduled scans (worker thread only).
    int scheduleCount_ = 0;
    std::string pendingScheduleId_;
    std::chrono::system_clock::time_point pendingScheduleDue_{};
    std::optional<gui::BrickConnection::Clock::time_point> scheduleRetryAt_;

    mutable std::mutex mutex_; // guards everything below
    std::deque<std::unique_ptr<Job>> jobs_;
    const std::string peer_;
    const std::chrono::system_clock::time_point connectedSince_;
    nlohmann::json announcement_; // params of "newConnection", null before it
    std::string state_ = "connecting";
    bool scanQueued_ = false; // a scan job is queued or running
    std::optional<std::chrono::system_clock::time_point> scanStartedAt_;
    std::optional<std::string> report_;
    std::optional<std::chrono::system_clock::time_point> lastScan_;
    std::optional<int64_t> lastScanMs_;
    std::string lastScanSource_; // "api" or "schedule"
    std::optional<std::string> lastScanError_;
    size_t entries_ = 0;
    std::optional<std::chrono::system_clock::time_point> nextScheduledScan_;

    std::thread worker_; // last: starts once everything above is built
};

/// All connected bricks, by id (1, 2, ... in connection order, never reused).
class BrickRegistry {
public:
    explicit BrickRegistry(Settings settings) : settings_(settings) {}
    /// Stops every session.
    ~BrickRegistry();
    BrickRegistry(const BrickRegistry&) = delete;
    BrickRegistry& operator=(const BrickRegistry&) = delete;

    /// Starts a session for a freshly accepted brick.
    void add(std::unique_ptr<gui::BrickConnection> connection, const std::string& peer);
    /// Every brick, described, in id order.
    nlohmann::json list() const;
    std::shared_ptr<BrickSession> find(int id) const;

    /// Called by a session once its brick announced appId and pid: an earlier session of the
    /// same brick (a brick that reconnected) is dropped and its last scan handed on.
    void announced(BrickSession& session);
    /// Called by a session whose brick has gone; a no-op when it was removed already.
    void remove(BrickSession& session);
    /// Joins the sessions that have ended. Not from a session's worker.
    void reap();
    /// Stops and joins every session.
    void stopAll();

private:
    const Settings settings_;
    mutable std::mutex mutex_; // guards everything below
    int nextId_ = 1;
    std::map<int, std::shared_ptr<BrickSession>> sessions_;
    std::vector<std::shared_ptr<BrickSession>> ended_; // removed, their workers still to join
};

} // namespace halvixctl::serve
