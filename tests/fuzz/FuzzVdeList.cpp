// Feeds arbitrary bytes as the content of the service's shared-memory device list and walks
// it the way the list reader does; entry reads must stay inside the bytes given.
#include "devices/vde/VdeListView.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    namespace SP = Vdapi::ServiceProtocol;
    // A private copy of exactly size bytes, so ASan sees any read beyond it.
    std::vector<uint8_t> mapping(data, data + size);
    const Vdapi::VdeListView view(mapping.data(), mapping.size());
    (void)view.HasValidVersion();
    const size_t count = view.EntryCount();
    if (count > SP::kListMaxEntries) __builtin_trap();
    if (count > 0 && SP::kListEntriesOffset + count * SP::kListEntrySize > size) __builtin_trap();
    size_t walked = 0;
    SP::VdeListEntry entry;
    while (view.Entry(walked, entry)) ++walked;
    if (walked != count) __builtin_trap();
    return 0;
}
