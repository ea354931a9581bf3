// Unix-domain socket helpers of the simulator and its control client: listening and
// connecting by path, whole-buffer reads and writes that give up when a stop descriptor
// becomes readable. Built on the platform layer's socket addressing and waits.
#pragma once

#include "devices/platform/posix/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vdsim {

using Vdapi::UniqueFd;

/// Binds and listens on `path` (a stale socket file there is replaced). Invalid fd and
/// `error` set on failure (directory missing, path unusable, ...).
UniqueFd listenUnix(const std::string& path, std::string& error);
/// Connects to `path`. Invalid fd on failure (errno kept).
UniqueFd connectUnix(const std::string& path);

/// A non-blocking close-on-exec pipe (a stop or wake signal); false with errno set on failure.
bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd);

/// Reads exactly `n` bytes. False on end of stream, error, or when `stopFd` (>= 0) becomes
/// readable first. `timeoutMs` < 0 waits without limit, else bounds the whole read.
bool readFull(int fd, void* buf, size_t n, int stopFd, int timeoutMs = -1, int spinMicros = 0);
/// Reads what is available, at most `n` bytes, waiting for at least one. Returns the count,
/// 0 at end of stream, -1 on error or stop.
long readSome(int fd, void* buf, size_t n, int stopFd);
/// Writes all `n` bytes (no SIGPIPE). False on error or stop.
bool writeFull(int fd, const void* buf, size_t n, int stopFd);

/// Reads one connection's requests through a buffer. A client sends a request's header and
/// its input in one write; taking whatever has arrived at once serves both parts with one
/// system call instead of one per part. Bytes of a following request stay for the next read.
class StreamReader {
public:
    /// `spinMicros`: how long a read looks again for bytes before sleeping on the socket.
    StreamReader(int fd, int stopFd, int spinMicros) : fd_(fd), stopFd_(stopFd), spinMicros_(spinMicros) {}
    /// Reads exactly `n` bytes, as readFull (no time limit).
    bool read(void* buf, size_t n);

private:
    static constexpr size_t kBufferSize = 16 * 1024;
    int fd_, stopFd_, spinMicros_;
    std::vector<uint8_t> buffer_; // allocated at the first read
    size_t begin_ = 0, end_ = 0;  // the bytes received and not yet read
};

} // namespace vdsim
