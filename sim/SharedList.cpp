// Shared-memory device list: made through the service's named objects, written under its mutex.
#include "sim/SharedList.h"

#include "devices/VdapiResult.h"
#include "devices/platform/Xp.h"

#include <cstring>

namespace vdsim {

namespace SP = Vdapi::ServiceProtocol;

SharedList::~SharedList() { destroy(); }

bool SharedList::create(const std::string& mutexName, const std::string& listName, std::string& error)
{
    destroy();
    if (!objects_.create(mutexName, listName, SP::kListMappedSize, error)) return false;
    mutex_ = Vdapi::Xp::NewNamedMutex();
    section_ = Vdapi::Xp::NewSharedMem();
    if (!mutex_ || !section_) {
        error = "out of memory";
        return false;
    }
    void* address = nullptr;
    Vdapi::VdResult r = mutex_->Open(mutexName.c_str());
    if (!Vdapi::isSuccess(r)) {
        error = "named mutex " + mutexName + ": result " + std::to_string(r);
        return false;
    }
    r = section_->Open(listName.c_str(), SP::kListMappedSize, address, false);
    if (!Vdapi::isSuccess(r)) {
        error = "shared memory " + listName + ": result " + std::to_string(r);
        return false;
    }
    list_ = static_cast<uint8_t*>(address);
    return true;
}

bool SharedList::publish(const std::vector<SP::VdeListEntry>& entries, uint32_t versionWord, int32_t countWord,
                         int openFill)
{
    // Readers hold the mutex for one 40-byte copy and a dead one's hold is taken over, so the
    // wait is short; the untimed lock also keeps ThreadSanitizer (which does not see a timed
    // clock lock) able to follow the mutex.
    if (!list_ || !Vdapi::isSuccess(mutex_->Lock(Vdapi::kXpInfinite))) return false;
    std::memset(list_, openFill >= 0 ? openFill : 0, SP::kListMappedSize);
    Vdapi::Wire::putU32(list_ + SP::kListVersionOffset, versionWord);
    Vdapi::Wire::putI32(list_ + SP::kListCountOffset, countWord);
    for (size_t i = 0; i < entries.size() && i < SP::kListMaxEntries; ++i) {
        uint8_t* e = list_ + SP::kListEntriesOffset + i * SP::kListEntrySize;
        entries[i].encode(e);
        if (openFill >= 0) std::memset(e + SP::VdeListEntry::kPadding, openFill, SP::VdeListEntry::kOpMode - SP::VdeListEntry::kPadding);
    }
    mutex_->Unlock();
    return true;
}

void SharedList::destroy()
{
    list_ = nullptr;
    if (section_) section_->Close();
    if (mutex_) mutex_->Close();
    objects_.remove();
}

} // namespace vdsim
