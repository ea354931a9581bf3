// Port availability probe: whether a port can be taken now, found by taking it the way a
// streaming application would and letting go at once.
#pragma once

#include "devices/DeviceDescriptor.h"

namespace Halvix {

/// True when the port is free: its device attaches, an IP port has a link, and an exclusive
/// input or output channel could be attached. Every failure gives false; nothing is logged
/// and nothing stays claimed when it returns.
bool isPortAvailable(const Vdapi::HwFunctionDescriptor& port);

} // namespace Halvix
