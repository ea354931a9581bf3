// Where the device layer looks for devices on Windows: the installed kernel drivers and the
// device service of this machine.
#include "tools/local/LocalDevices.h"

namespace local {

std::string scanScope()
{
    return "this machine's devices";
}

std::string nothingToScanMessage()
{
    return "no kernel driver or device service found on this machine: are the drivers installed and the "
           "device service running?";
}

} // namespace local
