// The simulator's compiled-in catalog of device types: per type number the family, the port
// count and each port's capabilities, I/O configuration and properties, so that a rig file can
// name a device by type and serial and get realistic ports.
#pragma once

#include <nlohmann/json.hpp>

namespace vdsim {

/// The catalog as a JSON object keyed by decimal type number (see Catalog.cpp for the shape).
/// Parsed once; never fails (the text is part of the program and checked by the tests).
const nlohmann::json& catalog();

} // namespace vdsim
