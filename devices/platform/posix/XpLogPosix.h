// Device-layer log on POSIX: whole lines written to a file descriptor (stderr by default).
#pragma once

#include "devices/platform/IXpLog.h"

#include <unistd.h>

#include <atomic>
#include <mutex>

namespace Vdapi {

class XpLogPosix final : public IXpLog {
public:
    /// fd is not owned and must outlive the log.
    explicit XpLogPosix(int fd = STDERR_FILENO) : fd_(fd) {}

    void WriteV(XpLogLevel level, const char* file, int line, const char* format, va_list args) override;
    void SetLevel(XpLogLevel level) override { threshold_.store(static_cast<int>(level)); }
    XpLogLevel Level() const override { return static_cast<XpLogLevel>(threshold_.load()); }

private:
    int fd_;
    std::atomic<int> threshold_{static_cast<int>(XpLogLevel::Warning)};
    std::mutex writeMutex_; ///< guards writes to fd_, so lines never interleave
};

} // namespace Vdapi
