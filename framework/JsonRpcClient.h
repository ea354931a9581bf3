// kel::JsonRpcClient: the brick's JSON-RPC server on its TCP connection to the GUI.
#pragma once

#include "framework/CommandScheduler.h"
#include "framework/DeferredCountLog.h"
#include "framework/FrameReader.h"
#include "framework/IJsonRpcNotificationListener.h"
#include "framework/IPacket.h"
#include "framework/JsonRpcDispatcher.h"
#include "framework/Pool.h"
#include "framework/RawDataPacket.h"
#include "base/Worker.h"
#include "net/TcpClient.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace kel {

class App;
class SharedLogger;

/// Connects to the GUI (port 6666), announces the brick with "newConnection", answers the
/// GUI's requests and notifications from the connection's receiving thread, runs scheduled
/// commands, and sends its own notifications from a dedicated thread. Replies to the frames
/// of one received chunk are written together once the chunk is processed (or every 256 kB).
///
/// Threads that call in: the TCP connecting thread (onConnected), the receiving thread
/// (onDataReceived, onDisconnected, every received handler), the scheduler thread (scheduled
/// handlers), the status thread and any producer of notifications (onNotification).
///
/// Mutexes and what they guard; where two nest, the one listed first is taken first:
///   handlerMutex_       closing_ against scheduled handlers (held while one runs)
///   startStopMutex_     calls of the application's start/stop/isRunning
///   statusThreadMutex_  statusThread_ (start and join of the status thread)
///   statusMutex_        the status thread's timed wait (held by that thread while it runs)
///   notificationMutex_  notificationQueue_
///   sendMutex_          the tcpClient_ pointer (whole frames are serialised by the TCP client)
/// The scheduler's own mutex is never held while a command runs.
class JsonRpcClient : public ip::TcpClientListener, public IJsonRpcNotificationListener {
public:
    using RequestMethod = JsonRpcDispatcher::RequestMethod;
    using NotificationMethod = JsonRpcDispatcher::NotificationMethod;

    static constexpr uint16_t kGuiPort = 6666;
    static constexpr size_t kInitialPacketSize = 10240;
    /// Replies waiting for the end of their chunk are sent early once they reach this size.
    static constexpr size_t kReplyFlushBytes = 256 * 1024;

    /// Registers the built-in methods and starts the notification and scheduler threads.
    /// `logger` is not owned and must outlive the client.
    explicit JsonRpcClient(SharedLogger* logger);
    /// Runs shutdown(), then releases the members.
    ~JsonRpcClient();

    JsonRpcClient(const JsonRpcClient&) = delete;
    JsonRpcClient& operator=(const JsonRpcClient&) = delete;

    /// Registers a request method; a name already taken keeps its first function. The built-in
    /// methods are registered by the constructor; an application registers its own next to
    /// them before connect(): the tables are read without a lock once frames arrive.
    bool addMethod(const std::string& name, RequestMethod method);
    /// Registers a notification method; a name already taken keeps its first function.
    bool addNotificationMethod(const std::string& name, NotificationMethod method);

    /// Creates the TCP client for serverAddress:6666 bound to localAddress and starts its
    /// connecting thread; returns at once. Throws std::system_error when the thread cannot start.
    void connect(const std::string& serverAddress, const std::string& localAddress);

    /// The application served; not owned. Set once by the entry point before connect().
    void setApp(App* app) { app_ = app; }
    /// The id sent as "appId" in the announcement.
    void setAppId(std::string appId) { appId_ = std::move(appId); }
    const std::string& appId() const { return appId_; }

    /// Feeds received bytes through frame extraction, dispatch and the reply path. This is what
    /// onDataReceived does with the connection's buffer; it runs on one thread at a time.
    void receiveBytes(const uint8_t* bytes, size_t count);

    /// Processes one payload text as received, without sending: the reply, or nothing.
    std::optional<Json> process(std::string_view payload) const { return dispatcher_.process(payload); }

    // ip::TcpClientListener
    void onDataReceived(std::shared_ptr<ip::TcpConnection> connection, ip::SocketStatus status, size_t size) override;
    void onConnected() override;
    void onDisconnected() override;

    /// The status sent as "newStatusReport" params: an empty object unless a derived client
    /// reports more.
    virtual Json getStatus();
    /// The result of "getSettings": an empty object unless a derived client has settings.
    virtual Json getSettings();
    /// Fills the "newConnection" params: appId, appType, exePath, logFilePath, pid.
    virtual void fillConnectionInfo(Json& params);

    /// Frames the notification into a pool packet and queues it for the sending thread.
    /// Never waits for the network. A notification that is not delivered (no packet free, no
    /// connection, a failed send, or produced after the stop) is counted in the line
    /// "<count> packets were unavailable for Json-Rpc notifications", 5 s after the first
    /// loss of a window, or at the stop.
    void onNotification(const Json& notification) override;

    /// 1 ms or more starts the status reports (or changes their period); below 1 stops them
    /// and waits for the status thread to end.
    void setStatusReportInterval(int64_t milliseconds);
    int64_t statusReportInterval() const { return statusIntervalMs_.load(); }

    /// The orderly stop of the client: no handler runs any more, the status reports end,
    /// queued notifications are sent, the TCP client is destroyed and the lost notifications
    /// not yet reported are logged. Call it before stopping the logger and before destroying
    /// what the registered methods use. Idempotent. A derived client calls it first thing in
    /// its destructor, so that no thread calls its overrides while it is being destroyed.
    void shutdown();

protected:
    SharedLogger& logger() const { return *logger_; }

private:
    void registerControlMethods();
    Json scheduleMethod(const Json& request);
    Json cancelScheduleMethod(const Json& request);
    Json setLogFileMethod(const Json& request);
    Json setStatusReportIntervalMethod(const Json& request);
    Json setCpuMaskMethod(const Json& request);
    Json startMethod(const Json& request);
    Json stopMethod(const Json& request);
    void quitMethod();
    void runScheduledCommand(const Json& cmd, const std::string& scheduleId);

    void extractFrames();
    void queueReply(const Json& reply);
    void flushReplies();
    ip::TcpClient* currentTcpClient();
    void sendPacket(const IPacket& packet);
    void notificationSendingLoop();
    void statusReportLoop();
    void stopStatusReports();
    void log(uint32_t level, std::string text) const;

    JsonRpcDispatcher dispatcher_;                 // tables filled in the constructor, then read-only
    std::mutex handlerMutex_;
    bool closing_ = false;                         // guarded by handlerMutex_; mirrored in closingFlag_
    std::atomic<bool> closingFlag_{false};         // read without the lock by the receiving thread
    std::mutex startStopMutex_;
    SharedLogger* const logger_;

    FrameReader frameReader_;                      // receiving thread only
    std::shared_ptr<RawDataPacket> replyPacket_;   // receiving thread only; grows, never shrinks
    size_t pendingReplyBytes_ = 0;                 // receiving thread only: framed replies not yet sent

    std::mutex sendMutex_;
    std::unique_ptr<ip::TcpClient> tcpClient_;     // guarded by sendMutex_

    Pool<RawDataPacket> pool_;
    DeferredCountLog lostNotifications_;

    // The queue and the drained flag are guarded by notificationWorker_.mutex().
    std::list<std::shared_ptr<RawDataPacket>> notificationQueue_;
    bool notificationsDrained_ = false;            // the sending loop has ended
    base::Worker notificationWorker_;

    CommandScheduler scheduler_;

    std::mutex statusThreadMutex_;                 // one start or stop of the status worker at a time
    base::Worker statusWorker_;
    std::atomic<int64_t> statusIntervalMs_{0};

    std::string appId_;
    App* app_ = nullptr;

    std::once_flag shutdownOnce_;
};

} // namespace kel
