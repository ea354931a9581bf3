// The reconnecting TCP client: connecting thread, connection events and serialised sends.
#include "net/TcpClient.h"

#include "log/ILogger.h"
#include "log/ThreadName.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <system_error>

namespace ip {
namespace {

const char* const LogSource = "TcpClient";
constexpr std::chrono::microseconds SendWaitSlice{100000};

} // namespace

TcpClient::TcpClient(const std::string& serverAddress, uint16_t port, const std::string& localAddress, ILogger* logger)
    : serverAddress_(resolve(serverAddress)), serverPort_(port), localAddress_(resolve(localAddress)), logger_(logger)
{
}

TcpClient::~TcpClient() { stop(); }

bool TcpClient::start()
{
    std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
    if (running_)
        return true;
    stopping_ = false;
    try {
        connector_.start([this] { connectingLoop(); });
    } catch (const std::system_error&) {
        return false;
    }
    running_ = true;
    return true;
}

void TcpClient::stop()
{
    std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
    if (!running_)
        return;
    stopping_ = true;
    connector_.stop();
    connected_ = false;

    // Take the connection out under the lock, but wait for its receiving thread without it:
    // that thread may be inside a callback that sends (which needs the lock).
    std::shared_ptr<TcpConnection> connection;
    {
        std::lock_guard<std::mutex> lock(connectionMutex_);
        connection = std::move(connection_);
    }
    if (connection) {
        connection->removeListener(this); // waits for a callback in progress
        connection->stopReceiving();
        connection->socket().close();
    }
    running_ = false;
}

void TcpClient::connectingLoop()
{
    kel::setCurrentThreadName("TcpClient::ConnectingThreadFunction");
    std::unique_lock<std::mutex> lock(connector_.mutex());
    while (!connector_.stopping()) {
        const auto attemptStart = std::chrono::steady_clock::now();
        lock.unlock();
        if (!connected_) {
            ++attempts_;
            attemptConnect();
        }
        lock.lock();
        connector_.waitUntil(lock, attemptStart + AttemptPeriod, [] { return false; });
    }
}

void TcpClient::attemptConnect()
{
    // No listener lock is ever taken while holding connectionMutex_ (see the lock order in
    // the header), so the new connection gets its listener and the listeners hear of the
    // connection outside that lock.
    bool needConnection = false;
    {
        std::lock_guard<std::mutex> lock(connectionMutex_);
        // A lost connection whose receiving thread has not cleaned up yet: wait for that, so
        // listeners always see onDisconnected before the next onConnected.
        if (connection_ && connection_->wasConnected())
            return;
        needConnection = !connection_;
    }
    std::shared_ptr<TcpConnection> fresh;
    if (needConnection) {
        fresh = std::make_shared<TcpConnection>();
        fresh->addListener(this);
    }

    std::shared_ptr<TcpConnection> connected;
    {
        std::lock_guard<std::mutex> lock(connectionMutex_);
        if (!connection_) {
            if (!fresh)
                return; // the connection went away meanwhile; the next round builds one
            if (!fresh->socket().open()) {
                reportSetupFailure("Cannot create a socket: " + fresh->socket().lastErrorText());
                return;
            }
            if (fresh->socket().bind(localAddress_, 0) != SocketStatus::Done) {
                reportSetupFailure("Cannot bind to specified network adapter");
                return;
            }
            setupFailureReported_ = false;
            connection_ = std::move(fresh);
        }

        const SocketStatus status =
            connection_->socket().connect(serverAddress_, serverPort_, ConnectTimeoutMicroseconds);
        if (status == SocketStatus::NotReady)
            return; // keep the socket: the attempt may still complete in the background
        if (status != SocketStatus::Done) {
            connection_.reset(); // refused or failed: the next attempt starts with a fresh socket
            return;
        }
        connection_->markConnected();
        connected_ = true;
        connected = connection_;
    }

    // Only this thread creates connections and stop() joins it first, so `connected` stays
    // current until its receiving thread runs; onConnected therefore precedes any data.
    forEachListener([](TcpClientListener& listener) { listener.onConnected(); });
    if (!connected->startReceiving()) {
        // Without a receiving thread the connection is useless: drop it and try again later.
        {
            std::lock_guard<std::mutex> lock(connectionMutex_);
            connected_ = false;
            if (connection_ == connected)
                connection_.reset();
            reportSetupFailure("Cannot start the receiving thread");
        }
        connected->removeListener(this);
        forEachListener([](TcpClientListener& listener) { listener.onDisconnected(); });
    }
}

void TcpClient::reportSetupFailure(const std::string& text)
{
    // Logged once; again only after a success in between, although the attempts go on.
    if (setupFailureReported_)
        return;
    setupFailureReported_ = true;
    if (logger_ != nullptr)
        logger_->log(LogMessage(LogLevel::Error, text, LogSource));
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

void TcpClient::onReceived(std::shared_ptr<TcpConnection> connection, SocketStatus status, std::size_t size)
{
    forEachListener([&](TcpClientListener& listener) { listener.onDataReceived(connection, status, size); });
}

void TcpClient::onClosed()
{
    connected_ = false;
    forEachListener([](TcpClientListener& listener) { listener.onDisconnected(); });
    {
        std::lock_guard<std::mutex> lock(connectionMutex_);
        // Only a connection that was up is current here: the connecting thread never replaces it
        // before this cleanup, and `stop` may already have taken it.
        if (connection_ && connection_->wasConnected()) {
            connection_->detachReceiving(); // this is its receiving thread; it ends after this call
            connection_.reset();
        }
        // Written under the lock so that the line comes before the next connection's events.
        std::fputs("Disconnected from server\n", stdout);
        std::fflush(stdout);
    }
}

bool TcpClient::send(const void* data, std::size_t size)
{
    std::lock_guard<std::mutex> lock(connectionMutex_);
    if (!connection_ || data == nullptr || size == 0)
        return false;
    // An attempt that has not connected cannot carry bytes.
    if (!connection_->wasConnected())
        return false;
    TcpSocket& socket = connection_->socket();
    const auto* bytes = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const std::size_t chunk = std::min<std::size_t>(left, INT32_MAX);
        std::size_t sent = 0;
        const SocketStatus status = socket.send(bytes, chunk, sent, /*dontWait=*/true);
        if (status == SocketStatus::Done) {
            bytes += sent;
            left -= sent;
            continue;
        }
        // Wait for buffer room in slices, giving up when stopping or the connection is gone.
        if (status != SocketStatus::NotReady || stopping_ || connection_->isLost())
            return false;
        socket.waitWritable(SendWaitSlice);
    }
    return true;
}

} // namespace ip
