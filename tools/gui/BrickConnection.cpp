// One brick connection over ip sockets, with the brick framing of framework/Frame.h.
#include "tools/gui/BrickConnection.h"

#include "framework/Frame.h"
#include "base/json/JsonRpcMessage.h"
#include "net/SocketSelector.h"

#include <algorithm>
#include <cstdio>

namespace gui {
namespace {

constexpr std::size_t ReceiveChunk = 65536;

std::string hexByte(uint8_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

} // namespace

std::chrono::microseconds remaining(BrickConnection::Deadline deadline)
{
    const auto now = BrickConnection::Clock::now();
    if (deadline <= now)
        return std::chrono::microseconds(0);
    const auto limit = std::chrono::hours(1);
    if (deadline - now > limit)
        return limit;
    return std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
}

const char* toString(GuiError error)
{
    switch (error) {
    case GuiError::None:
        return "no error";
    case GuiError::Timeout:
        return "timeout";
    case GuiError::Disconnected:
        return "disconnected";
    case GuiError::BadFrame:
        return "bad frame";
    case GuiError::BadJson:
        return "bad JSON";
    case GuiError::SocketError:
        return "socket error";
    }
    return "?";
}

GuiResult BrickConnection::accept(ip::TcpSocket& listener, Deadline deadline)
{
    if (!listener.isOpen())
        return GuiResult::failure(GuiError::SocketError, "not listening");
    closeConnection();
    ip::SocketSelector selector;
    selector.add(listener.handle());
    for (;;) {
        const int ready = selector.waitReadable(remaining(deadline));
        if (ready < 0)
            return GuiResult::failure(GuiError::SocketError, "waiting for a brick failed");
        if (ready > 0) {
            // Non-blocking so that a connection reset while queued cannot block us.
            listener.setBlocking(false);
            const ip::SocketStatus status = listener.accept(connection_);
            listener.setBlocking(true);
            if (status == ip::SocketStatus::Done) {
                peerClosed_ = false;
                return GuiResult::success(
                    {{"address", ip::toString(connection_.peerAddress())}, {"port", connection_.peerPort()}});
            }
            if (status != ip::SocketStatus::NotReady)
                return GuiResult::failure(GuiError::SocketError, "accept failed: " + listener.lastErrorText());
        }
        if (Clock::now() >= deadline)
            return GuiResult::failure(GuiError::Timeout, "no brick connected to " +
                                                             ip::toString(listener.localAddress()) + ":" +
                                                             std::to_string(listener.localPort()) + " in time");
    }
}

void BrickConnection::closeConnection()
{
    connection_.close();
    peerClosed_ = false;
    buffer_.clear();
    skipPayload_ = 0;
    queue_.clear();
}

void BrickConnection::disconnect() { closeConnection(); }

GuiResult BrickConnection::sendRaw(std::string_view bytes, Deadline deadline)
{
    if (!connection_.isOpen())
        return GuiResult::failure(GuiError::Disconnected, "no brick is connected");
    if (peerClosed_)
        return GuiResult::failure(GuiError::Disconnected, "the brick closed the connection");
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        std::size_t sent = 0;
        const ip::SocketStatus status =
            connection_.send(bytes.data() + offset, bytes.size() - offset, sent, /*dontWait=*/true);
        if (status == ip::SocketStatus::Done) {
            offset += sent;
            continue;
        }
        if (status == ip::SocketStatus::Disconnected)
            return GuiResult::failure(GuiError::Disconnected, "the brick closed the connection");
        if (status != ip::SocketStatus::NotReady)
            return GuiResult::failure(GuiError::SocketError, "send failed: " + connection_.lastErrorText());
        if (Clock::now() >= deadline)
            return GuiResult::failure(GuiError::Timeout, "the brick does not take more bytes");
        connection_.waitWritable(std::min(remaining(deadline), std::chrono::microseconds(100000)));
    }
    return GuiResult::success();
}

GuiResult BrickConnection::send(const nlohmann::json& message, Deadline deadline)
{
    return sendRaw(kel::frame::framed(message.dump()), deadline);
}

int64_t BrickConnection::sendRequest(const std::string& method, const nlohmann::json& params, GuiResult* sendResult)
{
    const int64_t id = nextId_++;
    nlohmann::json request = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}};
    if (!params.is_null())
        request["params"] = params;
    GuiResult result = send(request);
    if (sendResult != nullptr)
        *sendResult = std::move(result);
    return id;
}

GuiResult BrickConnection::sendNotification(const std::string& method, const nlohmann::json& params)
{
    return send(kel::makeNotification(method, params));
}

bool BrickConnection::receiveSome(Deadline deadline)
{
    if (!connection_.isOpen() || peerClosed_)
        return false;
    ip::SocketSelector selector;
    selector.add(connection_.handle());
    if (selector.waitReadable(remaining(deadline)) <= 0)
        return false;
    char chunk[ReceiveChunk];
    std::size_t received = 0;
    const ip::SocketStatus status = connection_.receive(chunk, sizeof chunk, received);
    if (status != ip::SocketStatus::Done) {
        peerClosed_ = true; // an orderly close, a reset or a failure: nothing more will come
        return false;
    }
    buffer_.append(chunk, received);
    extractFrames();
    return true;
}

void BrickConnection::extractFrames()
{
    std::size_t pos = 0;
    for (;;) {
        if (skipPayload_ > 0) {
            const std::size_t dropped = std::min(skipPayload_, buffer_.size() - pos);
            pos += dropped;
            skipPayload_ -= dropped;
            if (skipPayload_ > 0)
                break;
        }
        if (buffer_.size() - pos < kel::frame::kHeaderSize)
            break;
        const auto* header = reinterpret_cast<const uint8_t*>(buffer_.data() + pos);
        const std::optional<uint32_t> length = kel::frame::readHeader(header);
        if (!length || *length == 0) {
            // Without a valid header there is no way to find the next frame start: drop it all.
            queue_.push_back(GuiResult::failure(
                GuiError::BadFrame, !length ? "frame with wrong magic " + hexByte(header[0]) + " " + hexByte(header[1])
                                            : std::string("frame with zero length")));
            pos = buffer_.size();
            break;
        }
        if (*length > maxPayload_) {
            // The header is sound, so skip exactly the refused payload and stay in step.
            queue_.push_back(GuiResult::failure(GuiError::BadFrame, "frame of " + std::to_string(*length) +
                                                                        " bytes exceeds the limit of " +
                                                                        std::to_string(maxPayload_)));
            pos += kel::frame::kHeaderSize;
            skipPayload_ = *length;
            continue;
        }
        if (buffer_.size() - pos - kel::frame::kHeaderSize < *length)
            break;
        const std::string_view payload(buffer_.data() + pos + kel::frame::kHeaderSize, *length);
        pos += kel::frame::kHeaderSize + *length;
        nlohmann::json value = nlohmann::json::parse(payload, nullptr, /*allow_exceptions=*/false);
        if (value.is_discarded())
            queue_.push_back(GuiResult::failure(GuiError::BadJson, "frame is not JSON: " + std::string(payload.substr(0, 200))));
        else {
            queue_.push_back(GuiResult::success(std::move(value)));
            queue_.back().text = payload;
        }
    }
    buffer_.erase(0, pos);
}

GuiResult BrickConnection::nextMatching(const Predicate& predicate, Deadline deadline)
{
    std::size_t scanned = 0;
    for (;;) {
        for (; scanned < queue_.size(); ++scanned) {
            GuiResult& entry = queue_[scanned];
            if (!entry.ok() || predicate(entry.value)) {
                GuiResult found = std::move(entry);
                queue_.erase(queue_.begin() + std::ptrdiff_t(scanned));
                return found;
            }
        }
        if (!connection_.isOpen())
            return GuiResult::failure(GuiError::Disconnected, "no brick is connected");
        if (peerClosed_)
            return GuiResult::failure(GuiError::Disconnected, "the brick closed the connection");
        if (Clock::now() >= deadline)
            return GuiResult::failure(GuiError::Timeout, "timed out");
        receiveSome(deadline);
    }
}

GuiResult BrickConnection::next(Deadline deadline)
{
    return nextMatching([](const nlohmann::json&) { return true; }, deadline);
}

GuiResult BrickConnection::nextReply(int64_t id, Deadline deadline)
{
    return nextMatching(
        [id](const nlohmann::json& message) {
            if (!message.is_object() || !(message.contains("result") || message.contains("error")))
                return false;
            const auto found = message.find("id");
            return found != message.end() && found->is_number() && found->get<double>() == double(id);
        },
        deadline);
}

GuiResult BrickConnection::nextNotification(const std::string& method, Deadline deadline)
{
    return nextMatching(
        [&method](const nlohmann::json& message) {
            if (!message.is_object() || message.contains("id"))
                return false;
            const auto found = message.find("method");
            return found != message.end() && found->is_string() && found->get<std::string>() == method;
        },
        deadline);
}

GuiResult BrickConnection::call(const std::string& method, const nlohmann::json& params, Deadline deadline)
{
    GuiResult sent;
    const int64_t id = sendRequest(method, params, &sent);
    if (!sent)
        return sent;
    return nextReply(id, deadline);
}

GuiResult BrickConnection::waitDisconnected(Deadline deadline)
{
    while (connection_.isOpen() && !peerClosed_) {
        if (Clock::now() >= deadline)
            return GuiResult::failure(GuiError::Timeout, "the brick is still connected");
        receiveSome(deadline);
    }
    return GuiResult::success();
}

} // namespace gui
