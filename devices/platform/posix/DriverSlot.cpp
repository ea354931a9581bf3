// Shared-memory driver slot: memory file, mapping checks and the futex-backed waits.
#include "devices/platform/posix/DriverSlot.h"

#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace Vdapi {

namespace DW = DriverWire;

namespace {

static_assert(std::atomic_ref<uint32_t>::is_always_lock_free, "slot words must be lock-free across processes");

/// Mapping of a slot file of `total` bytes, read/write and shared; invalid on failure.
UniqueMapping MapSlot(int fd, size_t total)
{
    void* p = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return p == MAP_FAILED ? UniqueMapping() : UniqueMapping(p, total);
}

inline void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

UniqueFd DriverSlot::Create(uint32_t capacity)
{
    mapping_.reset();
    capacity_ = 0;
    if (capacity == 0 || capacity > DW::kMaxPayload) {
        errno = EINVAL;
        return UniqueFd();
    }
    UniqueFd fd(static_cast<int>(::syscall(SYS_memfd_create, "vdapi-driver-slot", MFD_CLOEXEC)));
    const size_t total = DW::kSlotPayload + capacity;
    if (!fd || ::ftruncate(fd.get(), static_cast<off_t>(total)) != 0)
        return UniqueFd();
    mapping_ = MapSlot(fd.get(), total);
    if (!mapping_.valid())
        return UniqueFd();
    capacity_ = capacity;
    Store(DW::kSlotMagicAt, DW::kSlotMagic);
    Store(DW::kSlotVersionAt, DW::kSlotVersion);
    Store(DW::kSlotCapacityAt, capacity);
    return fd;
}

bool DriverSlot::Attach(int fd, uint32_t grantedCapacity)
{
    mapping_.reset();
    capacity_ = 0;
    if (grantedCapacity == 0 || grantedCapacity > DW::kMaxPayload)
        return false;
    const size_t total = DW::kSlotPayload + grantedCapacity;
    struct stat st {};
    // The file must hold the whole slot, or touching its end would fault.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < static_cast<off_t>(total))
        return false;
    mapping_ = MapSlot(fd, total);
    if (!mapping_.valid())
        return false;
    capacity_ = grantedCapacity;
    if (Load(DW::kSlotMagicAt) != DW::kSlotMagic || Load(DW::kSlotVersionAt) != DW::kSlotVersion ||
        Load(DW::kSlotCapacityAt) != grantedCapacity) {
        Reset();
        capacity_ = 0;
        return false;
    }
    return true;
}

std::atomic_ref<uint32_t> DriverSlot::Word(size_t offset) const
{
    return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(Base() + offset));
}

uint32_t DriverSlot::Load(size_t offset) const
{
    return Word(offset).load(std::memory_order_acquire);
}

void DriverSlot::Store(size_t offset, uint32_t value)
{
    Word(offset).store(value, std::memory_order_release);
}

void DriverSlot::Publish(size_t seqAt, size_t sleepingAt, uint32_t value)
{
    // Sequentially consistent on both words: either the sleeper sees the new value before it
    // sleeps, or this side sees its sleeping mark and wakes it.
    Word(seqAt).store(value, std::memory_order_seq_cst);
    if (Word(sleepingAt).load(std::memory_order_seq_cst) != 0)
        ::syscall(SYS_futex, Base() + seqAt, FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

bool DriverSlot::Spin(size_t seqAt, uint32_t old, int spinMicros) const
{
    // Pure spinning: an answer from another core arrives within it. Yielding instead would
    // hand the processor to every other runnable task on a loaded machine before this one
    // looks again; the futex sleep that follows is woken promptly instead.
    const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(spinMicros);
    for (unsigned i = 0;; ++i) {
        if (Word(seqAt).load(std::memory_order_acquire) != old)
            return true;
        CpuRelax();
        if ((i & 15u) == 15u && std::chrono::steady_clock::now() >= end)
            return false;
    }
}

bool DriverSlot::SleepSlice(size_t seqAt, size_t sleepingAt, uint32_t old, int sliceMs)
{
    Word(sleepingAt).store(1, std::memory_order_seq_cst);
    if (Word(seqAt).load(std::memory_order_seq_cst) == old) {
        timespec slice{sliceMs / 1000, static_cast<long>(sliceMs % 1000) * 1000000L};
        // Not the private variant: the word is shared with another process.
        ::syscall(SYS_futex, Base() + seqAt, FUTEX_WAIT, old, &slice, nullptr, 0);
    }
    Word(sleepingAt).store(0, std::memory_order_seq_cst);
    return Word(seqAt).load(std::memory_order_acquire) != old;
}

} // namespace Vdapi
