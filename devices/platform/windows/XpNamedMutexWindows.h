// Named mutex on Windows: opens an existing mutex object by name with synchronise access.
#pragma once

#include "devices/platform/IXpNamedMutex.h"
#include "devices/platform/windows/UniqueHandle.h"

namespace Vdapi {

class XpNamedMutexWindows final : public IXpNamedMutex {
public:
    XpNamedMutexWindows() = default;
    ~XpNamedMutexWindows() override = default;

    VdResult Open(const char* name) override;
    VdResult Lock(uint32_t timeoutMs) override;
    VdResult Unlock() override;
    void Close() override { mutex_.reset(); }

private:
    UniqueHandle mutex_; ///< invalid when not open
};

} // namespace Vdapi
