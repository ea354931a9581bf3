// Process-local mutex on a Windows mutex object (recursive, owner-checked by the system).
#pragma once

#include "devices/platform/IXpMutex.h"
#include "devices/platform/windows/UniqueHandle.h"

namespace Vdapi {

/// Init and Close belong to the owner; Lock and Unlock may be called from any thread between
/// them.
class XpMutexWindows final : public IXpMutex {
public:
    XpMutexWindows() = default;
    ~XpMutexWindows() override = default;

    VdResult Init() override;
    VdResult Lock() override;
    VdResult Unlock() override;
    void Close() override { mutex_.reset(); }

private:
    UniqueHandle mutex_; ///< invalid until Init
};

} // namespace Vdapi
