// Families whose enumerators are not built yet (USB, network adapters): they report that they
// found no device, so scans list the other families. Each family replaces its function here
// with its own enumerator.
#include "devices/FamilyScan.h"

namespace Vdapi {

VdResult EnumerateUsb(FamilyScan& scan)
{
    scan.count = 0;
    return scan.NoDriver();
}

VdResult EnumerateNic(FamilyScan& scan)
{
    scan.count = 0;
    return scan.NoDriver();
}

} // namespace Vdapi
