// ip::Socket ownership (construction, moves, destruction); the socket calls are in posix/ or windows/Socket.cpp.
#include "net/Socket.h"

#include <utility>

namespace ip {

Socket::Socket(SocketType type) : type_(type) {}

Socket::~Socket() { close(); }

Socket::Socket(Socket&& other) noexcept
    : type_(other.type_), handle_(std::exchange(other.handle_, InvalidSocket)), blocking_(other.blocking_),
      lastError_(other.lastError_.load())
{
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        type_ = other.type_;
        handle_ = std::exchange(other.handle_, InvalidSocket);
        blocking_ = other.blocking_;
        lastError_ = other.lastError_.load();
    }
    return *this;
}

TcpSocket::TcpSocket() : Socket(SocketType::Tcp) {}

} // namespace ip
