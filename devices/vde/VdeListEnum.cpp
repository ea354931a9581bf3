// Reader of the device service's shared-memory list.
#include "devices/vde/VdeListEnum.h"

#include "devices/platform/Xp.h"

namespace Vdapi::VdapiService {

namespace SP = ServiceProtocol;

bool VdeListEnum::Fail(VdResult r)
{
    Close();
    lastError_ = r;
    return false;
}

bool VdeListEnum::Open(bool refresh)
{
    if (open_) {
        lastError_ = VDAPI_E_IN_USE;
        return false;
    }
    lastError_ = VDAPI_OK;
    client_ = std::make_unique<VdeSvcClient>();
    if (VdResult r = client_->Connect(); !isSuccess(r)) return Fail(r);
    if (refresh) {
        if (VdResult r = client_->RefreshVdeList(); !isSuccess(r)) return Fail(r);
    }
    std::string mutexName, sectionName;
    if (VdResult r = client_->GetVdeListNames(mutexName, sectionName); !isSuccess(r)) return Fail(r);

    mutex_ = Xp::NewNamedMutex();
    section_ = Xp::NewSharedMem();
    if (!mutex_ || !section_) return Fail(VDAPI_E_OUT_OF_MEM);
    if (VdResult r = mutex_->Open(mutexName.c_str()); !isSuccess(r)) return Fail(r);
    void* address = nullptr;
    const std::string globalName = std::string(SP::kSharedMemPrefix) + sectionName;
    if (VdResult r = section_->Open(globalName.c_str(), SP::kListMappedSize, address, true); !isSuccess(r))
        return Fail(r);
    list_ = VdeListView(static_cast<const uint8_t*>(address), section_->Size());

    if (VdResult r = mutex_->Lock(kLockTimeoutMs); !isSuccess(r)) return Fail(r);
    const bool versionOk = list_.HasValidVersion();
    mutex_->Unlock();
    if (!versionOk) {
        VDAPI_LOG(Warning, "device service list %s has an unknown layout version", sectionName.c_str());
        return Fail(VDAPI_E_INVALID_VERSION);
    }
    lastRead_ = -1;
    open_ = true;
    return true;
}

bool VdeListEnum::Next(SP::VdeListEntry& entry)
{
    if (!open_) return false;
    if (VdResult r = mutex_->Lock(kLockTimeoutMs); !isSuccess(r)) {
        lastError_ = r;
        return false;
    }
    // The count is read afresh under the mutex: the service may change the list between entries.
    const size_t index = size_t(lastRead_ + 1);
    const bool copied = list_.Entry(index, entry);
    if (copied) ++lastRead_;
    mutex_->Unlock();
    return copied;
}

void VdeListEnum::Close()
{
    list_ = VdeListView();
    if (section_) section_->Close();
    section_.reset();
    if (mutex_) mutex_->Close();
    mutex_.reset();
    if (client_) client_->Disconnect();
    client_.reset();
    open_ = false;
}

} // namespace Vdapi::VdapiService
