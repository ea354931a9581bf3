// The sessions of `halvixctl serve`: one worker per brick that owns its connection.
#include "tools/halvixctl/ServeRegistry.h"

#include <ctime>
#include <iostream>

namespace halvixctl::serve {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;
using namespace std::chrono_literals;
using SystemClock = std::chrono::system_clock;
using SteadyClock = gui::BrickConnection::Clock;

/// How long the worker waits for the brick before it looks at its jobs and its stop flag again:
/// the most a queued scan waits before it is sent.
constexpr auto kPollStep = 10ms;
/// Prefix of the scheduleIds of the scheduled scans.
const std::string kSchedulePrefix = "halvixctl-serve-scan-";

/// UTC time as "2026-12-06T12:48:03.250Z".
std::string isoTime(SystemClock::time_point time)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = std::time_t(ms / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, int(ms % 1000));
    return text;
}

json isoOrNull(const std::optional<SystemClock::time_point>& time) { return time ? json(isoTime(*time)) : json(); }

int64_t millisecondsSince(SteadyClock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

std::future<Reply> ready(Reply reply)
{
    std::promise<Reply> promise;
    promise.set_value(std::move(reply));
    return promise.get_future();
}

/// A member of the announcement as the API lists it (null when missing).
json announced(const json& announcement, const char* key)
{
    if (!announcement.is_object())
        return nullptr;
    const auto found = announcement.find(key);
    return found == announcement.end() ? json() : *found;
}

} // namespace

Reply Reply::error(int status, const std::string& message)
{
    return Reply{status, json{{"error", message}, {"status", status}}.dump()};
}

void logLine(const std::string& text)
{
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::cerr << text << std::endl;
}

// ---------------------------------------------------------------------------------------------
// BrickSession

BrickSession::BrickSession(BrickRegistry& registry, int id, std::unique_ptr<gui::BrickConnection> connection,
                           std::string peer, const Settings& settings)
    : registry_(registry), id_(id), settings_(settings), connection_(std::move(connection)), peer_(std::move(peer)),
      connectedSince_(SystemClock::now()), worker_([this] { run(); })
{
}

BrickSession::~BrickSession()
{
    requestStop();
    join();
}

void BrickSession::requestStop()
{
    // The worker looks at the flag between its connection's short polls.
    stop_ = true;
}

void BrickSession::join()
{
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
}

json BrickSession::describe() const
{
    std::lock_guard lock(mutex_);
    return json{{"id", id_},
                {"state", state_},
                {"address", peer_},
                {"connectedSince", isoTime(connectedSince_)},
                {"appType", announced(announcement_, "appType")},
                {"appId", announced(announcement_, "appId")},
                {"pid", announced(announcement_, "pid")},
                {"exePath", announced(announcement_, "exePath")},
                {"logFilePath", announced(announcement_, "logFilePath")},
                {"scanStartedAt", isoOrNull(scanStartedAt_)},
                {"lastScan", isoOrNull(lastScan_)},
                {"lastScanMs", lastScanMs_ ? json(*lastScanMs_) : json()},
                {"lastScanSource", lastScan_ ? json(lastScanSource_) : json()},
                {"lastScanError", lastScanError_ ? json(*lastScanError_) : json()},
                {"entries", report_ ? json(entries_) : json()},
                {"nextScheduledScan", isoOrNull(nextScheduledScan_)}};
}

std::optional<std::string> BrickSession::inventory() const
{
    std::lock_guard lock(mutex_);
    return report_;
}

std::optional<std::pair<std::string, int64_t>> BrickSession::identity() const
{
    std::lock_guard lock(mutex_);
    const json appId = announced(announcement_, "appId");
    const json pid = announced(announcement_, "pid");
    if (!appId.is_string() || !pid.is_number_integer())
        return std::nullopt;
    return std::make_pair(appId.get<std::string>(), pid.get<int64_t>());
}

void BrickSession::inherit(const BrickSession& earlier)
{
    if (&earlier == this)
        return;
    std::scoped_lock lock(mutex_, earlier.mutex_);
    if (report_ || !earlier.report_)
        return;
    report_ = earlier.report_;
    entries_ = earlier.entries_;
    lastScan_ = earlier.lastScan_;
    lastScanMs_ = earlier.lastScanMs_;
    lastScanSource_ = earlier.lastScanSource_;
}

std::future<Reply> BrickSession::scan(ScanOptions options)
{
    auto job = std::make_unique<Job>();
    job->kind = Job::Kind::Scan;
    job->options = options;
    std::future<Reply> future = job->promise.get_future();
    std::lock_guard lock(mutex_);
    if (stop_)
        return ready(Reply::error(503, name() + " has disconnected"));
    if (scanQueued_)
        return ready(Reply::error(409, "a scan of " + name() + " is running already"));
    scanQueued_ = true;
    jobs_.push_back(std::move(job));
    return future;
}

std::future<Reply> BrickSession::quit()
{
    auto job = std::make_unique<Job>();
    job->kind = Job::Kind::Quit;
    std::future<Reply> future = job->promise.get_future();
    std::lock_guard lock(mutex_);
    if (stop_)
        return ready(Reply::error(503, name() + " has disconnected"));
    jobs_.push_back(std::move(job));
    return future;
}

void BrickSession::run()
{
    logLine(name() + " connected from " + peer_);
    while (!stop_) {
        std::unique_ptr<Job> job;
        {
            std::lock_guard lock(mutex_);
            if (!jobs_.empty()) {
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
        }
        if (job) {
            if (job->kind == Job::Kind::Scan)
                runScan(job->options, job->promise);
            else
                runQuit(job->promise);
            continue;
        }
        if (scheduleRetryAt_ && SteadyClock::now() >= *scheduleRetryAt_) {
            scheduleRetryAt_.reset();
            scheduleScan(0ms);
        }
        const gui::GuiResult message = connection_->next(gui::BrickConnection::in(kPollStep));
        if (message.ok()) {
            handle(message);
            continue;
        }
        if (message.error == gui::GuiError::Timeout)
            continue;
        if (message.error == gui::GuiError::Disconnected)
            break;
        logLine(name() + ": " + gui::toString(message.error) + ": " + message.message);
    }
    connection_->disconnect();
    registry_.remove(*this);
    std::deque<std::unique_ptr<Job>> left;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        left.swap(jobs_);
        state_ = "disconnected";
    }
    for (auto& job : left)
        job->promise.set_value(Reply::error(503, name() + " disconnected before the request ran"));
    logLine(name() + " disconnected");
}

void BrickSession::handle(const gui::GuiResult& message)
{
    const json& value = message.value;
    if (!value.is_object() || value.contains("id"))
        return; // a late reply to a request given up on, or a request the GUI does not serve
    const auto method = value.find("method");
    if (method == value.end() || !method->is_string())
        return;
    const auto params = value.find("params");
    if (*method == "newConnection") {
        {
            std::lock_guard lock(mutex_);
            announcement_ = params != value.end() && params->is_object() ? *params : json::object();
            if (state_ == "connecting")
                state_ = "idle";
        }
        logLine(name() + " announced " + (params != value.end() ? params->dump() : "{}"));
        registry_.announced(*this);
        if (settings_.every.count() > 0 && pendingScheduleId_.empty())
            scheduleScan(0ms);
    } else if (*method == "scheduledCommandExecuted") {
        // Parsed again from the text so that the report keeps the brick's key order.
        const ordered_json parsed = ordered_json::parse(message.text, nullptr, false);
        if (parsed.is_object() && parsed.contains("params") && parsed["params"].is_object())
            takeScheduledReport(parsed["params"]);
    }
}

BrickSession::Outcome BrickSession::request(const std::string& method, const json& params,
                                            std::chrono::milliseconds timeout)
{
    Outcome outcome;
    const int64_t id = connection_->sendRequest(method, params, &outcome.response);
    if (!outcome.response.ok())
        return outcome;
    const auto deadline = gui::BrickConnection::in(timeout);
    for (;;) {
        outcome.response = connection_->nextReply(id, std::min(deadline, gui::BrickConnection::in(kPollStep)));
        if (outcome.response.error != gui::GuiError::Timeout || SteadyClock::now() >= deadline)
            return outcome;
        if (stop_) {
            outcome.stopped = true;
            return outcome;
        }
    }
}

Reply BrickSession::failedRequest(const Outcome& outcome, const std::string& what) const
{
    if (outcome.stopped || outcome.response.error == gui::GuiError::Disconnected ||
        outcome.response.error == gui::GuiError::SocketError)
        return Reply::error(503, name() + " disconnected while waiting for " + what);
    if (outcome.response.error == gui::GuiError::Timeout)
        return Reply::error(504, name() + " did not answer " + what + " in time");
    return Reply::error(502, name() + " sent a bad frame instead of " + what + ": " + outcome.response.message);
}

void BrickSession::runScan(ScanOptions options, std::promise<Reply>& promise)
{
    const auto startedAt = SystemClock::now();
    {
        std::lock_guard lock(mutex_);
        state_ = "scanning";
        scanStartedAt_ = startedAt;
    }
    const auto finish = [&](Reply reply, std::optional<std::string> error) {
        {
            std::lock_guard lock(mutex_);
            state_ = "idle";
            scanStartedAt_.reset();
            scanQueued_ = false;
            if (error)
                lastScanError_ = error;
        }
        promise.set_value(std::move(reply));
    };
    const std::pair<const char*, bool> enables[] = {{"enableNicDeviceScan", options.nic},
                                                    {"enableDteDeviceScan", options.dte}};
    for (const auto& [method, on] : enables) {
        const std::string flag = std::string(method) == "enableNicDeviceScan" ? "nicDeviceScanEnabled"
                                                                               : "dteDeviceScanEnabled";
        const Outcome outcome = request(method, json{{flag, on}}, settings_.callTimeout);
        if (!outcome.response.ok()) {
            Reply reply = failedRequest(outcome, method);
            return finish(reply, json::parse(reply.body)["error"].get<std::string>());
        }
        const json& response = outcome.response.value;
        if (!response.contains("result") || response["result"] != json(on)) {
            const std::string text = std::string(method) + " answered " + response.dump();
            return finish(Reply::error(502, text), text);
        }
    }
    const auto scanStart = SteadyClock::now();
    const Outcome outcome = request("scanDevices", json::object(), settings_.scanTimeout);
    const int64_t durationMs = millisecondsSince(scanStart);
    if (!outcome.response.ok()) {
        Reply reply = failedRequest(outcome, "the reply to scanDevices");
        return finish(reply, json::parse(reply.body)["error"].get<std::string>());
    }
    const ordered_json parsed = ordered_json::parse(outcome.response.text, nullptr, false);
    if (!parsed.is_object() || !parsed.contains("result") || !parsed["result"].is_array()) {
        const std::string text = "scanDevices answered " + outcome.response.text.substr(0, 300);
        return finish(Reply::error(502, text), text);
    }
    std::string report = parsed["result"].dump();
    {
        std::lock_guard lock(mutex_);
        report_ = report;
        entries_ = parsed["result"].size();
        lastScan_ = SystemClock::now();
        lastScanMs_ = durationMs;
        lastScanSource_ = "api";
        lastScanError_.reset();
    }
    logLine(name() + " scanned: " + std::to_string(parsed["result"].size()) + " entries in " +
            std::to_string(durationMs) + " ms");
    finish(Reply{200, std::move(report)}, std::nullopt);
}

void BrickSession::runQuit(std::promise<Reply>& promise)
{
    {
        std::lock_guard lock(mutex_);
        state_ = "quitting";
    }
    const gui::GuiResult sent = connection_->sendNotification("quit");
    if (!sent.ok()) {
        promise.set_value(Reply::error(503, name() + " disconnected before quit could be sent"));
        return;
    }
    const auto deadline = gui::BrickConnection::in(settings_.callTimeout);
    while (!stop_ && connection_->isConnected() && SteadyClock::now() < deadline)
        connection_->waitDisconnected(std::min(deadline, gui::BrickConnection::in(kPollStep)));
    if (connection_->isConnected()) {
        {
            std::lock_guard lock(mutex_);
            state_ = "idle";
        }
        promise.set_value(Reply::error(504, name() + " did not disconnect after quit"));
        return;
    }
    // Gone from the list before the answer, so a client that asks next sees it gone.
    registry_.remove(*this);
    promise.set_value(Reply{200, json{{"id", id_}, {"quit", true}}.dump()});
}

void BrickSession::scheduleScan(std::chrono::milliseconds delay)
{
    const std::string scheduleId = kSchedulePrefix + std::to_string(++scheduleCount_);
    const auto due = SystemClock::now() + delay;
    const auto dueMs = std::chrono::duration_cast<std::chrono::milliseconds>(due.time_since_epoch()).count();
    const json params = {{"time", dueMs},
                         {"scheduleId", scheduleId},
                         {"cmd", {{"jsonrpc", "2.0"}, {"method", "scanDevices"}, {"id", scheduleCount_}}}};
    const Outcome outcome = request("schedule", params, settings_.callTimeout);
    if (outcome.response.ok() && outcome.response.value.contains("result")) {
        pendingScheduleId_ = scheduleId;
        pendingScheduleDue_ = due;
        std::lock_guard lock(mutex_);
        nextScheduledScan_ = due;
        return;
    }
    const std::string why = outcome.response.ok() ? "schedule answered " + outcome.response.value.dump()
                                                  : std::string("schedule failed: ") + outcome.response.message;
    logLine(name() + ": " + why);
    pendingScheduleId_.clear();
    scheduleRetryAt_ = SteadyClock::now() + settings_.every;
    std::lock_guard lock(mutex_);
    nextScheduledScan_.reset();
    lastScanError_ = why;
}

void BrickSession::takeScheduledReport(const ordered_json& params)
{
    const auto scheduleId = params.find("scheduleId");
    if (scheduleId == params.end() || !scheduleId->is_string() || *scheduleId != pendingScheduleId_)
        return;
    const auto now = SystemClock::now();
    const auto result = params.find("result");
    {
        std::lock_guard lock(mutex_);
        nextScheduledScan_.reset();
        if (result != params.end() && result->is_array()) {
            report_ = result->dump();
            entries_ = result->size();
            lastScan_ = now;
            // The brick ran the scan when it was due; it reports at its end.
            lastScanMs_ = std::max<int64_t>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(now - pendingScheduleDue_).count());
            lastScanSource_ = "schedule";
            lastScanError_.reset();
        } else {
            const auto error = params.find("error");
            lastScanError_ = "scheduled scanDevices failed: " + (error != params.end() ? error->dump() : "no result");
        }
    }
    pendingScheduleId_.clear();
    scheduleScan(settings_.every);
}

// ---------------------------------------------------------------------------------------------
// BrickRegistry

BrickRegistry::~BrickRegistry() { stopAll(); }

void BrickRegistry::add(std::unique_ptr<gui::BrickConnection> connection, const std::string& peer)
{
    std::lock_guard lock(mutex_);
    const int id = nextId_++;
    sessions_[id] = std::make_shared<BrickSession>(*this, id, std::move(connection), peer, settings_);
}

json BrickRegistry::list() const
{
    std::vector<std::shared_ptr<BrickSession>> sessions;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, session] : sessions_)
            sessions.push_back(session);
    }
    json bricks = json::array();
    for (const auto& session : sessions)
        bricks.push_back(session->describe());
    return bricks;
}

std::shared_ptr<BrickSession> BrickRegistry::find(int id) const
{
    std::lock_guard lock(mutex_);
    const auto found = sessions_.find(id);
    return found == sessions_.end() ? nullptr : found->second;
}

void BrickRegistry::announced(BrickSession& session)
{
    const auto identity = session.identity();
    if (!identity)
        return;
    std::vector<std::shared_ptr<BrickSession>> earlier;
    {
        std::lock_guard lock(mutex_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (it->second.get() != &session && it->second->identity() == identity) {
                // Handed on before the old entry goes, so no listing shows the brick without it.
                session.inherit(*it->second);
                earlier.push_back(it->second);
                ended_.push_back(it->second);
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& old : earlier) {
        logLine("brick " + std::to_string(session.id()) + " replaces brick " + std::to_string(old->id()) +
                " (same appId and pid)");
        old->requestStop();
    }
}

void BrickRegistry::remove(BrickSession& session)
{
    std::lock_guard lock(mutex_);
    const auto found = sessions_.find(session.id());
    if (found != sessions_.end() && found->second.get() == &session) {
        ended_.push_back(found->second);
        sessions_.erase(found);
    }
}

void BrickRegistry::reap()
{
    std::vector<std::shared_ptr<BrickSession>> ended;
    {
        std::lock_guard lock(mutex_);
        ended.swap(ended_);
    }
    for (const auto& session : ended)
        session->join();
}

void BrickRegistry::stopAll()
{
    std::vector<std::shared_ptr<BrickSession>> all;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, session] : sessions_)
            all.push_back(session);
    }
    for (const auto& session : all)
        session->requestStop();
    for (const auto& session : all)
        session->join();
    reap();
}

} // namespace halvixctl::serve
