// Shared-memory device list: file creation, robust mutex set-up and publishing.
#include "sim/SharedList.h"

#include "devices/platform/posix/RunDir.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace vdsim {
namespace {

namespace SP = Vdapi::ServiceProtocol;
using Vdapi::RunDir::NamedMutexFile;

/// Creates (truncating) a file of `size` bytes and maps it shared. Null on failure.
void* createMapped(const std::string& path, size_t size, std::string& error)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    void* p = MAP_FAILED;
    if (::ftruncate(fd, off_t(size)) == 0) p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) error = path + ": " + std::strerror(errno);
    ::close(fd);
    return p == MAP_FAILED ? nullptr : p;
}

} // namespace

SharedList::~SharedList() { destroy(); }

bool SharedList::create(const std::string& mutexPath, const std::string& listPath, std::string& error)
{
    destroy();
    mutexPath_ = mutexPath;
    listPath_ = listPath;
    mutexMap_ = createMapped(mutexPath, sizeof(NamedMutexFile), error);
    if (!mutexMap_) return false;
    auto* file = static_cast<NamedMutexFile*>(mutexMap_);
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    int rc = pthread_mutex_init(&file->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        error = mutexPath + ": cannot initialise the mutex: " + std::strerror(rc);
        return false;
    }
    __atomic_store_n(&file->ready, NamedMutexFile::kReadyMagic, __ATOMIC_RELEASE);
    listMap_ = static_cast<uint8_t*>(createMapped(listPath, SP::kListMappedSize, error));
    return listMap_ != nullptr;
}

bool SharedList::publish(const std::vector<SP::VdeListEntry>& entries, uint32_t versionWord, int32_t countWord)
{
    if (!mutexMap_ || !listMap_) return false;
    auto* file = static_cast<NamedMutexFile*>(mutexMap_);
    int rc = pthread_mutex_lock(&file->mutex);
    if (rc == EOWNERDEAD) rc = pthread_mutex_consistent(&file->mutex); // a reader died holding it
    if (rc != 0) return false;
    std::memset(listMap_, 0, SP::kListMappedSize);
    Vdapi::Wire::putU32(listMap_ + SP::kListVersionOffset, versionWord);
    Vdapi::Wire::putI32(listMap_ + SP::kListCountOffset, countWord);
    for (size_t i = 0; i < entries.size() && i < SP::kListMaxEntries; ++i)
        entries[i].encode(listMap_ + SP::kListEntriesOffset + i * SP::kListEntrySize);
    pthread_mutex_unlock(&file->mutex);
    return true;
}

void SharedList::destroy()
{
    if (mutexMap_) {
        ::munmap(mutexMap_, sizeof(NamedMutexFile));
        ::unlink(mutexPath_.c_str());
        mutexMap_ = nullptr;
    }
    if (listMap_) {
        ::munmap(listMap_, SP::kListMappedSize);
        ::unlink(listPath_.c_str());
        listMap_ = nullptr;
    }
}

} // namespace vdsim
