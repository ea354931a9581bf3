// The named mutex and the shared-memory section the device service publishes its device list
// in: made here by the service's stand-in, opened by name by the device layer.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace vdsim {

class ServiceObjects {
public:
    ServiceObjects();
    ~ServiceObjects();
    ServiceObjects(const ServiceObjects&) = delete;
    ServiceObjects& operator=(const ServiceObjects&) = delete;

    /// Creates both, replacing stale ones a service that died left behind (the section zeroed,
    /// sectionSize bytes). False with `error` naming the object and the reason.
    bool create(const std::string& mutexName, const std::string& sectionName, size_t sectionSize, std::string& error);
    /// Removes both: their names are gone for new openers. Harmless when not created.
    void remove();

private:
    struct Owned; ///< what this system needs to keep the objects alive
    std::unique_ptr<Owned> owned_;
};

} // namespace vdsim
