// gui::GuiServer: the GUI side of a brick connection. It listens on ADDRESS:6666, accepts one
// brick, sends framed JSON and hands back the brick's frames as parsed JSON, distrusting them.
#pragma once

#include "tools/gui/BrickConnection.h"

namespace gui {

/// One listening socket and at most one brick connection. Single-threaded: every call runs on
/// the caller's thread and receives only while it waits, so no call blocks past its deadline.
class GuiServer {
public:
    using Clock = BrickConnection::Clock;
    using Deadline = BrickConnection::Deadline;
    using Predicate = BrickConnection::Predicate;

    static constexpr uint16_t DefaultPort = 6666;
    static constexpr std::size_t DefaultMaxPayload = BrickConnection::DefaultMaxPayload;

    /// `address` is an IPv4 text (resolved with ip::resolve); port 0 picks a free port.
    explicit GuiServer(std::string address = "127.0.0.1", uint16_t port = DefaultPort);

    /// Deadline `timeout` from now.
    static Deadline in(std::chrono::milliseconds timeout) { return Clock::now() + timeout; }

    /// True for a dotted quad of four decimal numbers 0..255 and nothing else (no host names, so
    /// nothing resolves wider than the text says).
    static bool isDottedQuad(const std::string& text);

    /// Binds (SO_REUSEADDR) and listens; an address that is not a dotted quad is refused. Returns a SocketError result with the reason on failure.
    GuiResult listen();
    /// Kernel receive buffer of the connections accepted after the next `listen` (0: the
    /// system's default). A small one plays a GUI whose reading falls behind.
    void setReceiveBufferSize(int bytes) { receiveBufferSize_ = bytes; }
    /// The port listened on (0 before `listen`).
    uint16_t port() const { return listener_.localPort(); }
    const std::string& address() const { return address_; }

    /// Waits for a brick to connect; closes a previous connection and forgets its messages.
    /// The value is {"address": peer address text, "port": peer port}. Errors: Timeout, SocketError.
    GuiResult accept(Deadline deadline);
    /// Waits for a further brick and hands it over as its own connection, leaving the one of
    /// this server alone (a GUI that serves many bricks at once). Errors as `accept`.
    GuiResult acceptInto(BrickConnection& brick, Deadline deadline) { return brick.accept(listener_, deadline); }

    bool isConnected() const { return brick_.isConnected(); }
    void disconnect() { brick_.disconnect(); }
    GuiResult send(const nlohmann::json& message, Deadline deadline = in(std::chrono::seconds(30)))
    {
        return brick_.send(message, deadline);
    }
    GuiResult sendRaw(std::string_view bytes, Deadline deadline = in(std::chrono::seconds(30)))
    {
        return brick_.sendRaw(bytes, deadline);
    }
    int64_t sendRequest(const std::string& method, const nlohmann::json& params, GuiResult* sendResult = nullptr)
    {
        return brick_.sendRequest(method, params, sendResult);
    }
    GuiResult sendNotification(const std::string& method, const nlohmann::json& params = nlohmann::json::object())
    {
        return brick_.sendNotification(method, params);
    }
    GuiResult next(Deadline deadline) { return brick_.next(deadline); }
    GuiResult nextMatching(const Predicate& predicate, Deadline deadline) { return brick_.nextMatching(predicate, deadline); }
    GuiResult nextReply(int64_t id, Deadline deadline) { return brick_.nextReply(id, deadline); }
    GuiResult nextNotification(const std::string& method, Deadline deadline)
    {
        return brick_.nextNotification(method, deadline);
    }
    GuiResult call(const std::string& method, const nlohmann::json& params, Deadline deadline)
    {
        return brick_.call(method, params, deadline);
    }
    GuiResult waitDisconnected(Deadline deadline) { return brick_.waitDisconnected(deadline); }
    std::size_t pendingCount() const { return brick_.pendingCount(); }
    void setMaxPayload(std::size_t bytes) { brick_.setMaxPayload(bytes); }

private:
    std::string address_;
    uint16_t requestedPort_;
    int receiveBufferSize_ = 0;
    ip::TcpSocket listener_;
    BrickConnection brick_;
};

} // namespace gui
