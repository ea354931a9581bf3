// A brick for tests of the GUI side: a real ip::TcpClient that collects the frames it receives
// and can answer requests, so GuiServer and halvixctl are exercised over real sockets.
#pragma once

#include "base/json/JsonRpcMessage.h"
#include "framework/Frame.h"
#include "net/TcpClient.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace test {

class BrickStandIn : public ip::TcpClientListener {
public:
    /// Builds the reply to a request (null: no reply). Runs on the receiving thread.
    using Responder = std::function<nlohmann::json(const nlohmann::json& request)>;

    BrickStandIn(const std::string& address, uint16_t port, Responder responder = {})
        : client_(address, port, address), responder_(std::move(responder))
    {
        client_.addListener(this);
    }
    ~BrickStandIn() { client_.stop(); }

    ip::TcpClient& client() { return client_; }
    void start() { client_.start(); }

    bool sendJson(const nlohmann::json& message)
    {
        return sendBytes(kel::frame::framed(message.dump()));
    }
    bool sendBytes(const std::string& bytes) { return client_.send(bytes.data(), bytes.size()); }

    /// Starts the client, waits for the connection and announces a brick as halvix does.
    bool connectAndAnnounce(const std::string& appId, int pid)
    {
        start();
        return waitFor([](int connects, int) { return connects >= 1; }) &&
               sendJson(kel::makeNotification("newConnection", {{"appId", appId}, {"appType", "Halvix"},
                                                                 {"exePath", "/stand/in"}, {"logFilePath", ""},
                                                                 {"pid", pid}}));
    }

    /// The reply to `request` with `result`.
    static nlohmann::json reply(const nlohmann::json& request, const nlohmann::json& result)
    {
        return {{"jsonrpc", "2.0"}, {"id", request["id"]}, {"result", result}};
    }

    /// Waits for the next received message; null when none came in time.
    nlohmann::json nextMessage(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return !messages_.empty(); }))
            return nullptr;
        nlohmann::json message = std::move(messages_.front());
        messages_.pop_front();
        return message;
    }

    /// Waits until `condition` (on connects/disconnects counts) holds.
    bool waitFor(const std::function<bool(int connects, int disconnects)>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return condition(connects_, disconnects_); });
    }

private:
    void onDataReceived(std::shared_ptr<ip::TcpConnection> connection, ip::SocketStatus status, std::size_t size) override
    {
        if (status != ip::SocketStatus::Done)
            return;
        buffer_.append(reinterpret_cast<const char*>(connection->data()), size);
        while (buffer_.size() >= kel::frame::kHeaderSize) {
            const auto length = kel::frame::readHeader(reinterpret_cast<const uint8_t*>(buffer_.data()));
            if (!length || buffer_.size() < kel::frame::kHeaderSize + *length)
                break;
            nlohmann::json message =
                nlohmann::json::parse(buffer_.substr(kel::frame::kHeaderSize, *length), nullptr, false);
            buffer_.erase(0, kel::frame::kHeaderSize + *length);
            if (responder_ && message.is_object() && message.contains("id")) {
                const nlohmann::json reply = responder_(message);
                if (!reply.is_null())
                    sendJson(reply);
            }
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(std::move(message));
            changed_.notify_all();
        }
    }

    void onConnected() override
    {
        buffer_.clear();
        std::lock_guard<std::mutex> lock(mutex_);
        ++connects_;
        changed_.notify_all();
    }

    void onDisconnected() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++disconnects_;
        changed_.notify_all();
    }

    ip::TcpClient client_;
    Responder responder_;
    std::string buffer_; // only touched on the connection's threads, one at a time

    std::mutex mutex_; // guards messages_, connects_, disconnects_
    std::condition_variable changed_;
    std::deque<nlohmann::json> messages_;
    int connects_ = 0;
    int disconnects_ = 0;
};

} // namespace test
