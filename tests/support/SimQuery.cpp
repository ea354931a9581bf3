// Simulator control replies and port listing for channel and probe tests.
#include "tests/support/SimQuery.h"

#include "devices/Scan.h"

#include <algorithm>
#include <sstream>

namespace VdapiTest {

std::map<std::string, uint64_t> Counters(const SimProcess& sim)
{
    std::map<std::string, uint64_t> counters;
    std::istringstream in(sim.control("counters"));
    std::string word;
    while (in >> word) {
        const size_t eq = word.find('=');
        if (eq != std::string::npos && eq > 0)
            counters[word.substr(0, eq)] = std::stoull(word.substr(eq + 1));
    }
    return counters;
}

int Holds(const SimProcess& sim, int64_t serial)
{
    std::istringstream in(sim.control("holds " + std::to_string(serial)));
    std::string ok;
    int count = -1;
    if (in >> ok >> count && ok == "ok")
        return count;
    return -1;
}

std::vector<Vdapi::HwFunctionDescriptor> ListAllPorts(int32_t order, Vdapi::VdResult* rc)
{
    int32_t count = 0;
    Vdapi::ScanHwFunctions(0, count, nullptr, false, false, order);
    std::vector<Vdapi::HwFunctionDescriptor> ports(size_t(count > 0 ? count : 0));
    const Vdapi::VdResult listed = Vdapi::ScanHwFunctions(count, count, ports.data(), false, false, order);
    if (rc != nullptr)
        *rc = listed;
    ports.resize(size_t(count > 0 ? count : 0));
    return ports;
}

std::vector<Vdapi::DeviceDescriptor> ListAllDevices(Vdapi::VdResult& rc)
{
    std::vector<Vdapi::DeviceDescriptor> devices(64);
    int32_t count = 0;
    rc = Vdapi::ScanDevices(Vdapi::ScanMode::All, 0, int32_t(devices.size()), count, devices.data(), nullptr, nullptr,
                            0, 0, 0, 0, 0, nullptr, false, false, false, false);
    devices.resize(size_t(std::clamp<int32_t>(count, 0, int32_t(devices.size()))));
    return devices;
}

Vdapi::HwFunctionDescriptor FindPort(const std::vector<Vdapi::HwFunctionDescriptor>& ports, int64_t serial, int port)
{
    for (const auto& record : ports)
        if (record.device.serial == serial && record.port == port)
            return record;
    return Vdapi::HwFunctionDescriptor();
}

} // namespace VdapiTest
