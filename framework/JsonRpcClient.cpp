// JSON-RPC client: receive path, connection events, notification queue and status reports.
#include "framework/JsonRpcClient.h"

#include "framework/App.h"
#include "framework/Frame.h"
#include "framework/ProcessInfo.h"
#include "log/SharedLogger.h"
#include "log/ThreadName.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <system_error>
#include <utility>

namespace kel {

namespace {

const char* const kSource = "JsonRpcClient";

// Longest status period honoured as given; longer ones (up to centuries) would overflow the
// clock arithmetic, and a report every 31 years is as good as none.
constexpr int64_t kMaxStatusIntervalMs = 1000000000000;

std::string jsonText(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Writes header and text into `packet`, which keeps its capacity between uses.
void frameInto(IPacket& packet, const std::string& text)
{
    packet.resize(text.size() + frame::kHeaderSize);
    frame::writeHeader(packet.data(), text.size());
    std::memcpy(packet.data() + frame::kHeaderSize, text.data(), text.size());
}

} // namespace

JsonRpcClient::JsonRpcClient(SharedLogger* logger)
    : dispatcher_(logger),
      logger_(logger),
      replyPacket_(makeVectorPacket()),
      lostNotifications_(logger, LogLevel::Error, " packets were unavailable for Json-Rpc notifications", kSource)
{
    replyPacket_->assign(nullptr, kInitialPacketSize);
    registerControlMethods();
    notificationWorker_.start([this] { notificationSendingLoop(); });
}

JsonRpcClient::~JsonRpcClient()
{
    shutdown();
}

bool JsonRpcClient::addMethod(const std::string& name, RequestMethod method)
{
    return dispatcher_.addMethod(name, std::move(method));
}

bool JsonRpcClient::addNotificationMethod(const std::string& name, NotificationMethod method)
{
    return dispatcher_.addNotificationMethod(name, std::move(method));
}

void JsonRpcClient::shutdown()
{
    std::call_once(shutdownOnce_, [this] {
        {
            // Waits for a scheduled handler in progress; none runs afterwards.
            std::lock_guard lock(handlerMutex_);
            closing_ = true;
            closingFlag_ = true;
        }
        stopStatusReports();
        notificationWorker_.stop(); // the loop sends what is still queued before it ends
        std::unique_ptr<ip::TcpClient> tcpClient;
        {
            std::lock_guard lock(sendMutex_);
            tcpClient = std::move(tcpClient_);
        }
        tcpClient.reset(); // joins the connecting and receiving threads
        // The losses of the open window are reported now, while the logger still runs.
        lostNotifications_.finish();
    });
}

void JsonRpcClient::connect(const std::string& serverAddress, const std::string& localAddress)
{
    auto tcpClient = std::make_unique<ip::TcpClient>(serverAddress, kGuiPort, localAddress, logger_);
    tcpClient->addListener(this);
    ip::TcpClient* started = tcpClient.get();
    std::unique_ptr<ip::TcpClient> previous;
    {
        std::lock_guard lock(sendMutex_);
        previous = std::exchange(tcpClient_, std::move(tcpClient));
    }
    previous.reset();
    if (!started->start())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "Cannot start the TCP connecting thread");
}

void JsonRpcClient::onDataReceived(std::shared_ptr<ip::TcpConnection> connection, ip::SocketStatus status, size_t size)
{
    if (status != ip::SocketStatus::Done || !connection || size == 0)
        return;
    receiveBytes(connection->data(), std::min(size, ip::TcpConnection::BufferSize));
}

void JsonRpcClient::receiveBytes(const uint8_t* bytes, size_t count)
{
    // A chunk that does not fit whole goes in as pieces, with the complete frames cut out in
    // between, so a well-formed stream loses no byte. Only a frame longer than the ring fills
    // it up: the chunk that no longer fits is dropped whole. That frame can never complete
    // and the bytes after the dropped chunk are not at a frame start, so what is buffered is
    // discarded too, as after a bad header.
    while (count > 0) {
        const size_t piece = frameReader_.pieceOf(count);
        if (piece == 0 || !frameReader_.append(bytes, piece)) {
            log(LogLevel::Error, "Error: RX buffer is full, dropped " + std::to_string(count) + " bytes.");
            frameReader_.clear();
            return;
        }
        bytes += piece;
        count -= piece;
        extractFrames();
    }
}

void JsonRpcClient::extractFrames()
{
    for (;;) {
        switch (frameReader_.next()) {
        case FrameReader::Status::NeedMore:
            flushReplies();
            return;
        case FrameReader::Status::BadHeader: {
            flushReplies();
            // The stream has no resynchronisation marker: everything buffered is lost.
            const size_t discarded = frameReader_.buffered();
            frameReader_.clear();
            log(LogLevel::Error, "Error: invalid frame header, discarded " + std::to_string(discarded) + " bytes.");
            return;
        }
        case FrameReader::Status::Frame:
            if (closingFlag_)
                continue; // quitting: nothing may reach the application any more
            if (auto reply = dispatcher_.process(frameReader_.payload()))
                queueReply(*reply);
            break;
        }
    }
}

void JsonRpcClient::queueReply(const Json& reply)
{
    // Appended to the reply packet behind the replies of earlier frames of the same chunk;
    // the packet keeps its capacity, so only the text itself is allocated per reply.
    const std::string text = jsonText(reply);
    const size_t needed = pendingReplyBytes_ + frame::kHeaderSize + text.size();
    if (replyPacket_->size() < needed)
        replyPacket_->resize(needed);
    uint8_t* at = replyPacket_->data() + pendingReplyBytes_;
    frame::writeHeader(at, text.size());
    std::memcpy(at + frame::kHeaderSize, text.data(), text.size());
    pendingReplyBytes_ = needed;
    if (pendingReplyBytes_ >= kReplyFlushBytes)
        flushReplies();
}

void JsonRpcClient::flushReplies()
{
    // Replies to the frames that arrived together leave together, in one write: one system
    // call per chunk instead of one per reply when the GUI pipelines its requests.
    if (pendingReplyBytes_ == 0)
        return;
    const size_t size = std::exchange(pendingReplyBytes_, 0);
    ip::TcpClient* tcpClient = currentTcpClient();
    if (tcpClient && !tcpClient->send(replyPacket_->data(), size))
        log(LogLevel::Warning, "JsonRpcClient could not Send reply");
}

void JsonRpcClient::onConnected()
{
    Json params = Json::object();
    fillConnectionInfo(params);
    onNotification(makeNotification("newConnection", params));
    log(LogLevel::Info, "Application connected to GUI");
}

void JsonRpcClient::onDisconnected()
{
    log(LogLevel::Verbose, "Disconnected from GUI");
    // A half-received frame of the lost connection must not prefix the next one's stream.
    frameReader_.clear();
}

Json JsonRpcClient::getStatus()
{
    return Json::object();
}

Json JsonRpcClient::getSettings()
{
    return Json::object();
}

void JsonRpcClient::fillConnectionInfo(Json& params)
{
    params["appType"] = app_ ? app_->appType() : std::string();
    params["appId"] = appId_;
    params["pid"] = jsonNumber(double(process::currentId()));
    params["exePath"] = process::executablePath();
    params["logFilePath"] = logger_->logFilePath();
}

void JsonRpcClient::onNotification(const Json& notification)
{
    std::shared_ptr<RawDataPacket> packet;
    try {
        const std::string text = jsonText(notification);
        packet = pool_.get();
        if (packet)
            frameInto(*packet, text);
    } catch (const std::exception&) {
        packet.reset(); // out of memory: lost like a notification without a packet
    }
    if (packet) {
        std::lock_guard lock(notificationWorker_.mutex());
        // Once the sending thread has drained the queue for the last time, nothing sends it.
        if (!notificationsDrained_) {
            notificationQueue_.push_back(std::move(packet));
            notificationWorker_.wake();
            return;
        }
    }
    lostNotifications_.increment();
}

void JsonRpcClient::sendPacket(const IPacket& packet)
{
    // A notification that does not reach the connection is not kept for the next one; it is
    // counted with those that found no packet, so the GUI's log says how many it missed.
    ip::TcpClient* tcpClient = currentTcpClient();
    if (!tcpClient || !tcpClient->isConnected()) {
        lostNotifications_.increment();
        return;
    }
    if (!tcpClient->send(packet.data(), packet.size())) {
        log(LogLevel::Warning, "JsonRpcClient could not Send notification");
        lostNotifications_.increment();
    }
}

ip::TcpClient* JsonRpcClient::currentTcpClient()
{
    // The TCP client serialises whole sends under its own connection mutex, so frames never
    // interleave; sendMutex_ only guards the pointer. Holding it across send() would close a
    // lock cycle with the TCP client's connecting thread, which calls onConnected() under its
    // connection mutex. Using the pointer after unlocking is safe: shutdown() joins the
    // notification thread before it destroys the TCP client, and replies run on the TCP
    // client's own receiving thread, which its destruction joins.
    std::lock_guard lock(sendMutex_);
    return tcpClient_.get();
}

void JsonRpcClient::notificationSendingLoop()
{
    setCurrentThreadName("JsonRpcClient::NotificationSendingLoopFunction");
    std::list<std::shared_ptr<RawDataPacket>> batch;
    std::unique_lock lock(notificationWorker_.mutex());
    // The condition also catches a notification queued while the last batch was being sent.
    while (notificationWorker_.wait(lock, [this] { return !notificationQueue_.empty(); })) {
        batch.swap(notificationQueue_);
        lock.unlock();
        for (const auto& packet : batch)
            sendPacket(*packet);
        batch.clear(); // packets go back to the pool
        lock.lock();
    }
    // Drain: whatever is still queued goes out before the TCP client is destroyed; later
    // notifications are counted as lost at once.
    batch.swap(notificationQueue_);
    notificationsDrained_ = true;
    for (const auto& packet : batch)
        sendPacket(*packet);
    batch.clear();
}

void JsonRpcClient::setStatusReportInterval(int64_t milliseconds)
{
    statusIntervalMs_ = milliseconds;
    if (milliseconds < 1) {
        stopStatusReports();
        return;
    }
    std::lock_guard lock(statusThreadMutex_);
    if (!statusWorker_.running())
        statusWorker_.start([this] { statusReportLoop(); });
}

void JsonRpcClient::stopStatusReports()
{
    std::lock_guard threadLock(statusThreadMutex_);
    statusWorker_.stop();
}

void JsonRpcClient::statusReportLoop()
{
    setCurrentThreadName("JsonRpcClient::StatusReportLoopFunction");
    auto report = [this] {
        try {
            onNotification(makeNotification("newStatusReport", getStatus()));
        } catch (const std::exception& e) {
            log(LogLevel::Warning, std::string("Status report failed: ") + e.what());
        }
    };
    report();
    auto t0 = std::chrono::steady_clock::now();
    std::unique_lock lock(statusWorker_.mutex());
    for (;;) {
        // The period is taken when the wait starts, so a new interval applies from the next
        // deadline on; it counts from the start of the previous report, so reports do not drift.
        const int64_t interval = std::clamp<int64_t>(statusIntervalMs_.load(), 1, kMaxStatusIntervalMs);
        if (!statusWorker_.waitUntil(lock, t0 + std::chrono::milliseconds(interval), [] { return false; }))
            break;
        t0 = std::chrono::steady_clock::now();
        lock.unlock(); // a stop asked meanwhile waits for this report only, not for the lock
        report();
        lock.lock();
    }
}

void JsonRpcClient::log(uint32_t level, std::string text) const
{
    logger_->log(LogMessage(level, std::move(text), kSource));
}

} // namespace kel
