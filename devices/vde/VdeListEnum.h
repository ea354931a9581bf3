// Walks the device service's shared-memory list of Ethernet-attached devices, one entry per
// acquisition of the service's named mutex.
#pragma once

#include "devices/platform/IXpNamedMutex.h"
#include "devices/platform/IXpSharedMem.h"
#include "devices/vde/VdeListView.h"
#include "devices/vde/VdeSvcClient.h"

#include <memory>

namespace Vdapi::VdapiService {

/// One owner thread at a time.
class VdeListEnum {
public:
    /// Longest wait for the list's named mutex per entry.
    static constexpr uint32_t kLockTimeoutMs = 10000;

    VdeListEnum() = default;
    ~VdeListEnum() { Close(); }
    VdeListEnum(const VdeListEnum&) = delete;
    VdeListEnum& operator=(const VdeListEnum&) = delete;

    /// Connects to the service (asking it to refresh its list first when refresh is set),
    /// opens the list's mutex and maps the list read-only. False when already open or any
    /// step fails (the reason is kept in LastError; everything opened is closed again), or
    /// when the list's version word is not 1.
    bool Open(bool refresh);
    /// Rewinds to before the first entry.
    void Begin() { lastRead_ = -1; }
    /// Copies the next entry. False at the end of the list, when not open, or when the mutex
    /// cannot be taken within kLockTimeoutMs (LastError then tells why).
    bool Next(ServiceProtocol::VdeListEntry& entry);
    /// Unmaps the list, closes the mutex and disconnects from the service.
    void Close();

    bool IsOpen() const { return open_; }
    /// Result of the last failed step of Open or Next; VDAPI_OK when none failed.
    VdResult LastError() const { return lastError_; }

private:
    bool Fail(VdResult r);

    std::unique_ptr<VdeSvcClient> client_;
    std::unique_ptr<IXpNamedMutex> mutex_;
    std::unique_ptr<IXpSharedMem> section_;
    VdeListView list_;
    long lastRead_ = -1;
    bool open_ = false;
    VdResult lastError_ = VDAPI_OK;
};

} // namespace Vdapi::VdapiService
