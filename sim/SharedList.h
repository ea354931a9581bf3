// The device service's shared-memory device list and the named mutex that guards it, made
// with the platform layer's named objects below the run directory (mutex/NAME, shm/NAME).
#pragma once

#include "devices/platform/IXpNamedMutex.h"
#include "devices/platform/IXpSharedMem.h"
#include "devices/vde/ServiceProtocol.h"
#include "sim/ServiceObjects.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vdsim {

class SharedList {
public:
    SharedList() = default;
    ~SharedList();
    SharedList(const SharedList&) = delete;
    SharedList& operator=(const SharedList&) = delete;

    /// Creates the named mutex and a zeroed list section (replacing stale ones) and opens both.
    /// Returns false with `error` set when either cannot be made.
    bool create(const std::string& mutexName, const std::string& listName, std::string& error);
    /// Writes the list under the mutex: version word, count word, the entries (at most 512
    /// are written whatever `countWord` says). `openFill` >= 0 is written into the bytes the
    /// layout leaves open (header words at 4 and 12..23, each entry's padding at 30, the unused
    /// entries), else they stay zero. Returns false when the mutex cannot be taken.
    bool publish(const std::vector<Vdapi::ServiceProtocol::VdeListEntry>& entries, uint32_t versionWord,
                 int32_t countWord, int openFill = -1);
    /// Closes and removes both objects.
    void destroy();

private:
    ServiceObjects objects_;
    std::unique_ptr<Vdapi::IXpNamedMutex> mutex_;
    std::unique_ptr<Vdapi::IXpSharedMem> section_;
    uint8_t* list_ = nullptr; // mapping of section_
};

} // namespace vdsim
