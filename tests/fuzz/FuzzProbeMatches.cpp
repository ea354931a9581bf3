// Feeds arbitrary bytes as one discovery answer: the ProbeMatches message is parsed as the
// discovery pass parses it, with little and with plenty of room for entries.
#include "devices/vde/VdeDiscovery.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (size_t room : {size_t(1), size_t(512)}) {
        std::vector<Vdapi::ServiceProtocol::VdeListEntry> entries;
        Vdapi::VdeDiscovery::ParseProbeMatches(data, size, room, entries);
        if (entries.size() > room)
            __builtin_trap();
    }
    return 0;
}
