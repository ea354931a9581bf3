// gui::BrickConnection: one brick connection seen from the GUI side. It sends framed JSON and
// hands back the brick's frames as parsed JSON, distrusting them.
#pragma once

#include "net/Socket.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace gui {

/// Why an operation of the GUI server did not deliver what was asked.
enum class GuiError {
    None,
    Timeout,      ///< the deadline passed
    Disconnected, ///< the brick closed the connection (or there never was one)
    BadFrame,     ///< a frame header with a wrong magic, a zero length or a length over the limit
    BadJson,      ///< a frame whose payload is not JSON
    SocketError,  ///< listening, accepting or sending failed
};

/// Readable name of an error ("timeout", "disconnected", ...).
const char* toString(GuiError error);

/// Outcome of a GUI server operation: a JSON value when `ok()`, otherwise the error and a text.
struct GuiResult {
    GuiError error = GuiError::None;
    nlohmann::json value;
    std::string message;
    /// For a received message: its payload exactly as it came (key order, number forms).
    std::string text;

    bool ok() const { return error == GuiError::None; }
    explicit operator bool() const { return ok(); }

    static GuiResult success(nlohmann::json value = nullptr) { return {GuiError::None, std::move(value), {}, {}}; }
    static GuiResult failure(GuiError error, std::string message) { return {error, nullptr, std::move(message), {}}; }
};

/// One accepted brick connection. Single-threaded: every call runs on the caller's thread and
/// receives only while it waits, so no call blocks past its deadline.
class BrickConnection {
public:
    using Clock = std::chrono::steady_clock;
    using Deadline = Clock::time_point;
    using Predicate = std::function<bool(const nlohmann::json&)>;

    /// Largest payload accepted from a brick; larger frames are refused and skipped.
    static constexpr std::size_t DefaultMaxPayload = 16u * 1024 * 1024;

    /// Deadline `timeout` from now.
    static Deadline in(std::chrono::milliseconds timeout) { return Clock::now() + timeout; }

    /// Waits until `listener` has a brick to accept and takes it as this connection, closing a
    /// previous one and forgetting its messages. The value is {"address": peer address text,
    /// "port": peer port}. Errors: Timeout, SocketError.
    GuiResult accept(ip::TcpSocket& listener, Deadline deadline);
    bool isConnected() const { return connection_.isOpen() && !peerClosed_; }
    /// Closes the brick connection (the brick sees a disconnection).
    void disconnect();

    /// Sends one JSON value as one frame. Errors: Disconnected, SocketError, Timeout.
    GuiResult send(const nlohmann::json& message, Deadline deadline = in(std::chrono::seconds(30)));
    /// Sends bytes as they are (garbage, partial frames). Same errors as `send`.
    GuiResult sendRaw(std::string_view bytes, Deadline deadline = in(std::chrono::seconds(30)));
    /// Sends a request with a fresh id and returns that id.
    int64_t sendRequest(const std::string& method, const nlohmann::json& params, GuiResult* sendResult = nullptr);
    /// Sends a notification {"jsonrpc":"2.0","method":method,"params":params} (no reply comes).
    GuiResult sendNotification(const std::string& method, const nlohmann::json& params = nlohmann::json::object());

    /// The next message in arrival order, or the first bad frame before it. Errors: Timeout,
    /// Disconnected (after every received message was handed out), BadFrame, BadJson.
    GuiResult next(Deadline deadline);
    /// The first message for which `predicate` holds; messages skipped on the way stay queued
    /// for later calls. A bad frame met on the way is returned as the error.
    GuiResult nextMatching(const Predicate& predicate, Deadline deadline);
    /// The response (an object with "result" or "error") carrying this numeric id.
    GuiResult nextReply(int64_t id, Deadline deadline);
    /// The next notification with this method name.
    GuiResult nextNotification(const std::string& method, Deadline deadline);
    /// Sends a request and waits for its response (the whole response object).
    GuiResult call(const std::string& method, const nlohmann::json& params, Deadline deadline);
    /// Waits until the brick closes the connection; messages arriving meanwhile stay queued.
    GuiResult waitDisconnected(Deadline deadline);

    /// Messages received and not yet handed out.
    std::size_t pendingCount() const { return queue_.size(); }
    void setMaxPayload(std::size_t bytes) { maxPayload_ = bytes; }

private:
    /// Receives once (waiting until the deadline). False on timeout or when the peer is gone.
    bool receiveSome(Deadline deadline);
    void extractFrames();
    void closeConnection();

    ip::TcpSocket connection_;
    bool peerClosed_ = false;

    std::string buffer_;              // received bytes not yet cut into frames
    std::size_t skipPayload_ = 0;     // bytes of a refused oversized frame still to drop
    std::deque<GuiResult> queue_;     // parsed messages and frame errors, in arrival order
    std::size_t maxPayload_ = DefaultMaxPayload;
    int64_t nextId_ = 1;
};

/// Time left until the deadline, at most one hour per wait (callers loop), so that a deadline
/// far in the future cannot overflow the clock arithmetic of a wait.
std::chrono::microseconds remaining(BrickConnection::Deadline deadline);

} // namespace gui
