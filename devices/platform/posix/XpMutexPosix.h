// Process-local recursive mutex on POSIX threads.
#pragma once

#include "devices/platform/IXpMutex.h"

#include "devices/platform/posix/MutexOwnership.h"

#include <pthread.h>

#include <memory>

namespace Vdapi {

/// Init and Close belong to the owner; Lock and Unlock may be called from any thread between
/// them.
class XpMutexPosix final : public IXpMutex {
public:
    XpMutexPosix() = default;
    ~XpMutexPosix() override { Close(); }

    VdResult Init() override;
    VdResult Lock() override;
    VdResult Unlock() override;
    void Close() override;

private:
    std::unique_ptr<pthread_mutex_t> mutex_; ///< null until Init
    MutexOwnership ownership_;               ///< guarded by *mutex_ itself
};

} // namespace Vdapi
