// Rendering of the "scanDevices" report for the console.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace halvixctl {

/// Text shown for a scan report without --json. The readable inventory table comes with the
/// device report; until then this is the report as indented JSON.
std::string renderInventory(const nlohmann::json& report);

} // namespace halvixctl
