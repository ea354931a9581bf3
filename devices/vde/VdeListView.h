// Read access to the device service's shared-memory device list over plain bytes: the layout
// version, a clamped entry count and one entry at a time. Never reads outside the bytes given.
#pragma once

#include "devices/vde/ServiceProtocol.h"

#include <cstddef>
#include <cstdint>

namespace Vdapi {

class VdeListView {
public:
    VdeListView() = default;
    /// Views size bytes at base (the mapped list, or any buffer).
    VdeListView(const uint8_t* base, size_t size) : base_(base), size_(size) {}

    /// True when the header is present and its version word is 1.
    bool HasValidVersion() const;
    /// Entries that may be read: the count word, clamped to 0..512 and to the entries the
    /// bytes actually hold; 0 when the header is missing.
    size_t EntryCount() const;
    /// Copies entry index into entry; false (entry untouched) when index >= EntryCount().
    bool Entry(size_t index, ServiceProtocol::VdeListEntry& entry) const;

private:
    const uint8_t* base_ = nullptr;
    size_t size_ = 0;
};

} // namespace Vdapi
