// The device service's shared-memory device list and the named mutex that guards it, as files
// below the run directory (mutex/NAME, shm/NAME).
#pragma once

#include "devices/vde/ServiceProtocol.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vdsim {

class SharedList {
public:
    SharedList() = default;
    ~SharedList();
    SharedList(const SharedList&) = delete;
    SharedList& operator=(const SharedList&) = delete;

    /// Creates the mutex file (robust, process-shared mutex, then the ready word) and the
    /// zeroed list mapping. Returns false with `error` set when a file cannot be made.
    bool create(const std::string& mutexPath, const std::string& listPath, std::string& error);
    /// Writes the list under the mutex: version word, count word, the entries (at most 512
    /// are written whatever `countWord` says). Returns false when the mutex cannot be taken.
    bool publish(const std::vector<Vdapi::ServiceProtocol::VdeListEntry>& entries, uint32_t versionWord,
                 int32_t countWord);
    /// Unmaps and removes both files.
    void destroy();

private:
    std::string mutexPath_, listPath_;
    void* mutexMap_ = nullptr; // RunDir::NamedMutexFile
    uint8_t* listMap_ = nullptr;
};

} // namespace vdsim
