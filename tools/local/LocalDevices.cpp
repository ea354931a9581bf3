// The run-directory check of vdscan and halvixctl, through the device layer's platform objects.
#include "tools/local/LocalDevices.h"

#include "devices/pcie/DriverProtocol.h"
#include "devices/platform/Xp.h"
#include "devices/vde/ServiceProtocol.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace local {

std::string runDirectory()
{
    const char* env = std::getenv("VDAPI_RUN_DIR");
    return env && *env ? std::string(env) : std::string("/run/vdapi");
}

bool hasDriverOrService()
{
    using namespace Vdapi;
    for (const DriverClass driverClass : {DriverClass::Pcie, DriverClass::LegacyPci, DriverClass::Bb2, DriverClass::Usb}) {
        const std::unique_ptr<IXpDriver> driver = Xp::NewDriver(driverClass);
        uint64_t present = 0;
        if (driver && isSuccess(driver->ListInterfaces(present)) && present != 0)
            return true;
    }
    // Legacy drivers are found by name only; one that exists but refuses us still exists.
    if (const std::unique_ptr<IXpDriver> legacy = Xp::NewDriver(DriverClass::LegacyPci)) {
        for (int i = 0; i < DriverProtocol::kMaxInterfaces; ++i) {
            const VdResult rc = legacy->OpenLegacy(i, true);
            legacy->Close();
            if (isSuccess(rc) || rc == VDAPI_E_NO_PERMISSION)
                return true;
        }
    }
    const std::unique_ptr<IXpPipeConnection> pipe = Xp::NewPipeConnection();
    if (!pipe || !isSuccess(pipe->Init()))
        return false;
    const VdResult rc = pipe->Connect(ServiceProtocol::kPipeName);
    pipe->Close();
    return isSuccess(rc);
}

bool isLocalAddress(const std::string& address)
{
    unsigned parts[4] = {};
    char tail = 0;
    if (std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4)
        return false;
    if (parts[0] == 127)
        return true;
    std::vector<Vdapi::NetAdapterInfo> adapters(64);
    int count = 0;
    Vdapi::Xp::Network().GetAdapters(int(adapters.size()), count, adapters.data());
    for (int i = 0; i < count && i < int(adapters.size()); ++i) {
        const uint8_t* ip = adapters[size_t(i)].ipv4Address;
        if (ip[0] == parts[0] && ip[1] == parts[1] && ip[2] == parts[2] && ip[3] == parts[3])
            return true;
    }
    return false;
}

std::string nothingToScanMessage()
{
    return "no driver or device service found below " + runDirectory() + ": is vdsim running, or VDAPI_RUN_DIR set?";
}

} // namespace local
