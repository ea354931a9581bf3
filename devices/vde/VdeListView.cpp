// Bounds-checked reading of the shared device list.
#include "devices/vde/VdeListView.h"

#include "base/WireBytes.h"

#include <algorithm>
#include <cstring>

namespace Vdapi {

namespace SP = ServiceProtocol;

bool VdeListView::HasValidVersion() const
{
    return base_ != nullptr && size_ >= SP::kListEntriesOffset && Wire::getU32(base_ + SP::kListVersionOffset) == SP::kListVersion;
}

size_t VdeListView::EntryCount() const
{
    if (base_ == nullptr || size_ < SP::kListEntriesOffset) return 0;
    const int32_t announced = Wire::getI32(base_ + SP::kListCountOffset);
    if (announced <= 0) return 0;
    const size_t held = (size_ - SP::kListEntriesOffset) / SP::kListEntrySize;
    return std::min({size_t(announced), SP::kListMaxEntries, held});
}

bool VdeListView::Entry(size_t index, SP::VdeListEntry& entry) const
{
    if (index >= EntryCount()) return false;
    // Copy first: the service may rewrite the section, and decoding works on a stable copy.
    uint8_t raw[SP::kListEntrySize];
    std::memcpy(raw, base_ + SP::kListEntriesOffset + index * SP::kListEntrySize, sizeof raw);
    entry = SP::VdeListEntry::decode(raw);
    return true;
}

} // namespace Vdapi
