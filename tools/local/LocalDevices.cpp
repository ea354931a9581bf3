// The run-directory check of vdscan and halvixctl, through the device layer's platform objects.
#include "tools/local/LocalDevices.h"

#include "devices/CapabilityTable.h"
#include "devices/Scan.h"
#include "devices/VdDevice.h"
#include "devices/channels/VdInpChannel.h"
#include "devices/channels/VdOutpChannel.h"
#include "devices/DriverClass.h"
#include "devices/nic/NicHal.h"
#include "devices/platform/Xp.h"
#include "devices/vde/ServiceProtocol.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace local {

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
        for (int i = 0; i < kMaxDriverInterfaces; ++i) {
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

Vdapi::VdResult scanPorts(std::vector<Vdapi::HwFunctionDescriptor>& ports, bool vde, bool nic, int32_t order)
{
    using namespace Vdapi;
    int32_t count = 0;
    VdResult rc = ScanHwFunctions(0, count, nullptr, vde, nic, order);
    if (rc != VDAPI_E_BUF_TOO_SMALL) {
        ports.clear();
        return rc;
    }
    ports.assign(size_t(count), HwFunctionDescriptor());
    rc = ScanHwFunctions(count, count, ports.data(), vde, nic, order);
    ports.resize(size_t(std::min<int32_t>(count, int32_t(ports.size()))));
    return rc;
}

std::string whyNotFree(const Vdapi::HwFunctionDescriptor& port)
{
    using namespace Vdapi;
    if (port.device.category == kCategoryNic) {
        // The any-local entry stands for every adapter at once: nothing can hold it.
        if (port.device.subType == kNicSubTypeAnyLocal)
            return "";
        AdapterLinkState state;
        if (Xp::Network().GetLinkState(port.device.macAddress, state) != VDAPI_OK)
            return "adapter gone";
        return state.up ? "" : "link down";
    }
    VdDeviceInt device;
    const VdResult attached = device.AttachBySerial(port.device.serial, false);
    if (attached != VDAPI_OK) {
        device.Detach();
        return std::string("device attach gave ") + ResultName(attached);
    }
    if (port.caps.Has(kCapIp)) {
        uint8_t flag = 0;
        int32_t speed = 5;
        if (device.GetLinkSpeed(port.port, flag, speed) == VDAPI_OK && speed == 0) {
            device.Detach();
            return "no link";
        }
    }
    VdInpChannel input;
    const VdResult in = input.Attach(&device, port.port, true, true);
    input.Detach(kDetachInstant);
    VdOutpChannel output;
    const VdResult out = output.Attach(&device, port.port, true);
    output.Detach(kDetachInstant);
    device.Detach();
    if (in == VDAPI_OK || out == VDAPI_OK)
        return "";
    if (in == VDAPI_E_IN_USE || out == VDAPI_E_IN_USE)
        return "held by another user";
    return std::string("input ") + ResultName(in) + ", output " + ResultName(out);
}

std::string deviceFacts(const Vdapi::HwFunctionDescriptor& port)
{
    using namespace Vdapi;
    if (port.device.category == kCategoryNic) {
        if (port.device.subType == kNicSubTypeAnyLocal)
            return std::string("any local adapter (") + kAnyLocalNicName + ")";
        char mac[18];
        std::snprintf(mac, sizeof mac, "%02X-%02X-%02X-%02X-%02X-%02X", port.device.macAddress[0],
                      port.device.macAddress[1], port.device.macAddress[2], port.device.macAddress[3],
                      port.device.macAddress[4], port.device.macAddress[5]);
        char name[256];
        if (Xp::Network().GetAdapterName(port.device.macAddress, name, int(sizeof name)) == VDAPI_OK)
            return std::string("interface ") + name + ", mac " + mac;
        return std::string("mac ") + mac;
    }
    if (port.device.firmwareVersion < 0)
        return "firmware unknown";
    std::string facts = "firmware " + std::to_string(port.device.firmwareVersion);
    if (port.device.firmwareStatus == kFirmwareTainted)
        facts += " (tainted)";
    else if (port.device.firmwareStatus == kFirmwareObsolete)
        facts += " (obsolete)";
    return facts;
}

} // namespace local
