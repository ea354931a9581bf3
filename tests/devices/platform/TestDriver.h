// A small driver for tests and benchmarks: serves the driver wire format on a real socket.
#pragma once

#include "devices/platform/posix/DriverWire.h"
#include "devices/platform/posix/EventSignal.h"
#include "devices/platform/posix/UnixSocket.h"

#include <poll.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Vdapi::TestSupport {

/// What the in-test driver answers to one request: raw reply bytes, then optionally hang up.
struct Reply {
    std::vector<uint8_t> bytes;
    bool hangUp = false;
};

Reply makeReply(uint32_t windowsError, const std::vector<uint8_t>& output)
{
    Reply reply;
    reply.bytes.resize(DriverWire::kReplyHeaderSize + output.size());
    DriverWire::putU32(reply.bytes.data(), windowsError);
    DriverWire::putU32(reply.bytes.data() + 4, uint32_t(output.size()));
    for (size_t i = 0; i < output.size(); ++i)
        reply.bytes[DriverWire::kReplyHeaderSize + i] = output[i];
    return reply;
}

/// Serves one driver interface socket on a thread: each request goes to the handler, whose
/// reply is sent back verbatim. Stops and joins on destruction.
class TestDriver {
public:
    using Handler = std::function<Reply(const DriverWire::RequestHeader&, const std::vector<uint8_t>&)>;

    TestDriver(const std::string& path, Handler handler) : handler_(std::move(handler))
    {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
        UnixSocketAddress address;
        listener_ = NewUnixStreamSocket(true);
        ready_ = address.assign(path) == VDAPI_OK && listener_ &&
                 ::bind(listener_.get(), address.get(), address.length()) == 0 &&
                 ::listen(listener_.get(), 4) == 0 && stop_.create();
        if (ready_)
            thread_ = std::thread([this] { serve(); });
    }
    ~TestDriver()
    {
        stop_.raise();
        if (thread_.joinable())
            thread_.join();
    }

    /// True when the socket is bound and served.
    bool ready() const { return ready_; }

    int requestsSeen() const { return requests_.load(); }
    DriverWire::RequestHeader lastHeader() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastHeader_;
    }

private:
    bool readExactly(int fd, void* data, size_t length)
    {
        auto* bytes = static_cast<uint8_t*>(data);
        while (length > 0) {
            if (WaitForSocket(fd, POLLIN, stop_.fd(), Deadline::afterMs(kXpInfinite)) != WaitResult::Ready)
                return false;
            const ssize_t n = ::recv(fd, bytes, length, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return false;
            if (n > 0) {
                bytes += n;
                length -= size_t(n);
            }
        }
        return true;
    }

    void serve()
    {
        for (;;) {
            if (WaitForSocket(listener_.get(), POLLIN, stop_.fd(), Deadline::afterMs(kXpInfinite)) !=
                WaitResult::Ready)
                return;
            UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            while (connection) {
                uint8_t headerBytes[DriverWire::kRequestHeaderSize];
                if (!readExactly(connection.get(), headerBytes, sizeof(headerBytes)))
                    break;
                const DriverWire::RequestHeader header = DriverWire::decodeRequest(headerBytes);
                if (header.inputLength > DriverWire::kMaxPayload)
                    break;
                std::vector<uint8_t> input(header.inputLength);
                if (!readExactly(connection.get(), input.data(), input.size()))
                    break;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    lastHeader_ = header;
                }
                ++requests_;
                const Reply reply = handler_(header, input);
                if (!reply.bytes.empty() &&
                    ::send(connection.get(), reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL) < 0)
                    break;
                if (reply.hangUp)
                    break;
            }
        }
    }

    Handler handler_;
    bool ready_ = false;
    UniqueFd listener_;
    EventSignal stop_;
    std::atomic<int> requests_{0};
    mutable std::mutex mutex_; ///< guards lastHeader_
    DriverWire::RequestHeader lastHeader_{};
    std::thread thread_;
};

} // namespace Vdapi::TestSupport
