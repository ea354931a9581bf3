// Rendering of the "scanDevices" report for the console.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace halvixctl {

/// The report as a table: one line per entry with device name, kind, direction, whether it is
/// free, serial and the kind's details (modulations, addresses, link speeds, capabilities),
/// then a count line. Values of unexpected types are shown as their JSON text and missing ones
/// as "?", so any array renders; a report that is not an array renders as its JSON text.
/// With `extra` (one text per entry), a last column headed `extraTitle` carries them.
std::string renderInventory(const nlohmann::json& report, const std::vector<std::string>& extra = {},
                            const std::string& extraTitle = "");

} // namespace halvixctl
