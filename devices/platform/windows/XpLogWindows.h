// Device-layer log on Windows: whole lines written to the standard error handle.
#pragma once

#include "devices/platform/IXpLog.h"

#include <atomic>
#include <mutex>

namespace Vdapi {

class XpLogWindows final : public IXpLog {
public:
    XpLogWindows() = default;

    void WriteV(XpLogLevel level, const char* file, int line, const char* format, va_list args) override;
    void SetLevel(XpLogLevel level) override { threshold_.store(static_cast<int>(level)); }
    XpLogLevel Level() const override { return static_cast<XpLogLevel>(threshold_.load()); }

private:
    std::atomic<int> threshold_{static_cast<int>(XpLogLevel::Warning)};
    std::mutex writeMutex_; ///< lines never interleave
};

} // namespace Vdapi
