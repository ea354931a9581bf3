// Console rendering of the scan report.
#include "tools/halvixctl/InventoryTable.h"

namespace halvixctl {

std::string renderInventory(const nlohmann::json& report)
{
    return report.dump(2);
}

} // namespace halvixctl
