// Unix-domain socket helpers of the simulator and its control client: listening and
// connecting by path, whole-buffer reads and writes that give up when a stop descriptor
// becomes readable. Built on the platform layer's socket addressing and waits.
#pragma once

#include "devices/platform/posix/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <string>

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

} // namespace vdsim
