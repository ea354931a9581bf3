// The service's named objects on Windows: a mutex and a "Global\" file mapping backed by the
// paging file, alive while this process holds their handles.
#include "sim/ServiceObjects.h"

#include "devices/platform/windows/UniqueHandle.h"

namespace vdsim {

struct ServiceObjects::Owned {
    Vdapi::UniqueHandle mutex, section;
};

ServiceObjects::ServiceObjects() = default;
ServiceObjects::~ServiceObjects() { remove(); }

bool ServiceObjects::create(const std::string& mutexName, const std::string& sectionName, size_t sectionSize,
                            std::string& error)
{
    remove();
    auto owned = std::make_unique<Owned>();
    owned->mutex.reset(::CreateMutexA(nullptr, FALSE, mutexName.c_str()));
    if (!owned->mutex) {
        error = "named mutex " + mutexName + ": Windows error " + std::to_string(::GetLastError());
        return false;
    }
    const std::string global = "Global\\" + sectionName;
    owned->section.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              static_cast<DWORD>(sectionSize), global.c_str()));
    if (!owned->section) {
        error = "shared memory " + global + ": Windows error " + std::to_string(::GetLastError());
        return false;
    }
    owned_ = std::move(owned);
    return true;
}

void ServiceObjects::remove()
{
    owned_.reset();
}

} // namespace vdsim
