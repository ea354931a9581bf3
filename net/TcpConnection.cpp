// The receiving thread of one TCP connection.
#include "net/TcpConnection.h"

#include "log/ThreadName.h"
#include "net/SocketSelector.h"

#include <system_error>

namespace ip {

TcpConnection::TcpConnection() = default;

TcpConnection::~TcpConnection()
{
    // The receiving thread holds a reference while it runs, so when this runs on another
    // thread the receiver has finished or was never started; on the receiver itself, detach.
    stopReceiving();
    socket_.close();
}

bool TcpConnection::startReceiving()
{
    std::lock_guard<std::mutex> lock(threadMutex_);
    if (receiver_.joinable())
        return false;
    stop_ = false;
    try {
        receiver_ = std::thread(&TcpConnection::receiveLoop, this, shared_from_this());
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void TcpConnection::stopReceiving()
{
    stop_ = true;
    std::thread receiver;
    {
        std::lock_guard<std::mutex> lock(threadMutex_);
        receiver = std::move(receiver_);
    }
    if (!receiver.joinable())
        return;
    if (receiver.get_id() == std::this_thread::get_id()) {
        receiver.detach();
    } else {
        socket_.shutdown(); // wakes the receiver at once instead of after its 500 ms wait
        receiver.join();
    }
}

void TcpConnection::detachReceiving()
{
    stop_ = true;
    std::lock_guard<std::mutex> lock(threadMutex_);
    if (receiver_.joinable())
        receiver_.detach();
}

void TcpConnection::receiveLoop(std::shared_ptr<TcpConnection> self)
{
    kel::setCurrentThreadName("ReceivingThreadFunction");
    SocketSelector selector;
    selector.add(socket_.handle());
    while (!stop_) {
        if (selector.waitReadable(ReceiveWait) <= 0)
            continue;
        std::size_t received = 0;
        const SocketStatus status = socket_.receive(buffer_.data(), ReceiveSize, received);
        if (status == SocketStatus::Done && received > 0) {
            forEachListener([&](TcpConnectionListener& listener) { listener.onReceived(self, SocketStatus::Done, received); });
        } else if (status == SocketStatus::Disconnected) {
            lost_ = true;
            forEachListener([](TcpConnectionListener& listener) { listener.onClosed(); });
            break;
        } else {
            forEachListener([&](TcpConnectionListener& listener) { listener.onReceived(self, status, 0); });
        }
    }
    selector.remove(socket_.handle());
    // Dropping `self` here may destroy the connection, on this thread (see the destructor).
}

} // namespace ip
