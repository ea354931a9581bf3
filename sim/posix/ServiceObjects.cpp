// The service's named objects on Linux: files below the run directory, made and removed by the
// platform layer's own helpers so that both sides agree on the names.
#include "sim/ServiceObjects.h"

#include "devices/platform/posix/XpNamedMutexPosix.h"
#include "devices/platform/posix/XpSharedMemPosix.h"

namespace vdsim {

struct ServiceObjects::Owned {
    std::string mutexName, sectionName;
};

ServiceObjects::ServiceObjects() = default;
ServiceObjects::~ServiceObjects() { remove(); }

bool ServiceObjects::create(const std::string& mutexName, const std::string& sectionName, size_t sectionSize,
                            std::string& error)
{
    remove();
    owned_ = std::make_unique<Owned>(Owned{mutexName, sectionName});
    Vdapi::XpNamedMutexPosix::Remove(mutexName.c_str());
    Vdapi::XpSharedMemPosix::Remove(sectionName.c_str());
    if (Vdapi::VdResult r = Vdapi::XpNamedMutexPosix::Create(mutexName.c_str()); !Vdapi::isSuccess(r)) {
        error = "named mutex " + mutexName + ": result " + std::to_string(r);
        return false;
    }
    if (Vdapi::VdResult r = Vdapi::XpSharedMemPosix::Create(sectionName.c_str(), sectionSize); !Vdapi::isSuccess(r)) {
        error = "shared memory " + sectionName + ": result " + std::to_string(r);
        return false;
    }
    return true;
}

void ServiceObjects::remove()
{
    if (!owned_) return;
    Vdapi::XpNamedMutexPosix::Remove(owned_->mutexName.c_str());
    Vdapi::XpSharedMemPosix::Remove(owned_->sectionName.c_str());
    owned_.reset();
}

} // namespace vdsim
