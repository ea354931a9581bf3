// Families whose enumerators are not built yet (Ethernet-attached devices): they report that
// they found no device, so scans list the other families. Each family replaces its function
// here with its own enumerator.
#include "devices/FamilyScan.h"

namespace Vdapi {

VdResult EnumerateVde(FamilyScan& scan)
{
    scan.count = 0;
    return scan.NoDriver();
}

} // namespace Vdapi
