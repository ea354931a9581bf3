// Where the device layer looks for devices on Linux: the run directory of the simulator's
// stand-ins for drivers and service.
#include "tools/local/LocalDevices.h"

#include <cstdlib>

namespace local {

namespace {

std::string runDirectory()
{
    const char* env = std::getenv("VDAPI_RUN_DIR");
    return env && *env ? std::string(env) : std::string("/run/vdapi");
}

} // namespace

std::string scanScope()
{
    return "the devices below " + runDirectory();
}

std::string nothingToScanMessage()
{
    return "no driver or device service found below " + runDirectory() + ": is vdsim running, or VDAPI_RUN_DIR set?";
}

} // namespace local
