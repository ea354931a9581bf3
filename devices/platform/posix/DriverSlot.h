// Shared-memory request slot of a driver connection (layout in DriverWire.h): the mapping,
// its words, and the bounded spin-then-sleep wait on a sequence word that both ends use.
#pragma once

#include "devices/platform/posix/DriverWire.h"
#include "devices/platform/posix/UniqueFd.h"

#include <atomic>
#include <cstdint>

namespace Vdapi {

/// Outcome of waiting for the other side.
enum class SlotWait {
    Changed, ///< the sequence word moved
    Gone,    ///< the other side went away (or the caller asked to stop)
};

class DriverSlot {
public:
    DriverSlot() = default;
    DriverSlot(DriverSlot&&) = default;
    DriverSlot& operator=(DriverSlot&&) = default;

    /// Driver side: a new slot of `capacity` payload bytes (1..kMaxPayload) in an anonymous
    /// memory file. Returns the file to pass to the client; invalid (errno set) on failure.
    UniqueFd Create(uint32_t capacity);
    /// Client side: maps a slot file received from the driver. Returns false (nothing mapped)
    /// when the file is smaller than its header says, or magic, version or capacity differ
    /// from what was granted.
    bool Attach(int fd, uint32_t grantedCapacity);
    void Reset() { mapping_.reset(); }
    bool Valid() const { return mapping_.valid(); }

    uint32_t Capacity() const { return capacity_; }
    uint8_t* Payload() const { return Base() + DriverWire::kSlotPayload; }

    /// One 32-bit word of the slot, read once (the other process may change it at any time).
    uint32_t Load(size_t offset) const;
    void Store(size_t offset, uint32_t value);

    /// Sets the sequence word at seqAt to value (release) and wakes the other side when its
    /// sleeping word (sleepingAt) says it sleeps.
    void Publish(size_t seqAt, size_t sleepingAt, uint32_t value);

    /// Waits until the sequence word at seqAt differs from `old`. Spins for at most spinMicros,
    /// then sleeps on the word (marking sleepingAt) in slices of sliceMs; after each slice
    /// stillThere() is asked, and false ends the wait with Gone. Never waits unbounded between
    /// two questions.
    template <class StillThere>
    SlotWait WaitForChange(size_t seqAt, size_t sleepingAt, uint32_t old, int spinMicros, int sliceMs,
                           StillThere stillThere)
    {
        if (Spin(seqAt, old, spinMicros))
            return SlotWait::Changed;
        for (;;) {
            if (SleepSlice(seqAt, sleepingAt, old, sliceMs))
                return SlotWait::Changed;
            if (!stillThere())
                return Load(seqAt) != old ? SlotWait::Changed : SlotWait::Gone;
        }
    }

private:
    uint8_t* Base() const { return static_cast<uint8_t*>(mapping_.get()); }
    std::atomic_ref<uint32_t> Word(size_t offset) const;
    /// True when the word moved within spinMicros.
    bool Spin(size_t seqAt, uint32_t old, int spinMicros) const;
    /// One futex sleep of at most sliceMs; true when the word has moved.
    bool SleepSlice(size_t seqAt, size_t sleepingAt, uint32_t old, int sliceMs);

    UniqueMapping mapping_;
    uint32_t capacity_ = 0;
};

} // namespace Vdapi
