// vdscan: lists every port the device layer finds (the two-call ScanHwFunctions), as a table;
// --repeat N runs the two-call scan N times and reports how long one took.
#include "devices/CapabilityTable.h"
#include "devices/Scan.h"
#include "devices/VdapiResult.h"
#include "tools/local/LocalDevices.h"

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace Vdapi;

namespace {

const char* const kUsage =
    "usage: vdscan [--order] [--vde] [--nic] [--why] [--repeat N] | --help | --version\n"
    "  Lists the ports of every device below $VDAPI_RUN_DIR (default /run/vdapi).\n"
    "  --order sorts devices by serial; --vde and --nic add those families;\n"
    "  --why adds per port its device's firmware (an adapter: interface name and MAC) and,\n"
    "  for a port that cannot be taken now, why (held by another user, no link, ...).\n"
    "  --repeat N times N complete scans and prints the mean instead of the table.\n"
    "Exit status: 0 listed, 1 the scan failed, 2 bad usage, 3 nothing below the run directory\n"
    "  to scan (no driver and no device service: vdsim not running, or another VDAPI_RUN_DIR).\n";

int Usage(const char* why)
{
    std::fprintf(stderr, "vdscan: %s\n%s", why, kUsage);
    return 2;
}

const char* ChanTypeText(int32_t chanType)
{
    switch (chanType) {
    case 0: return "none";
    case 1: return "input";
    case 2: return "output";
    case 3: return "ip";
    case 4: return "output/dblbuf";
    case 8: return "output/loopthr";
    default: return "?";
    }
}

/// True when the scan found no port but the machine's own network adapters and the run
/// directory offers nothing to find: the usual sign of a simulator that is not running, or of
/// another VDAPI_RUN_DIR.
bool NothingToScan(const std::vector<HwFunctionDescriptor>& ports)
{
    const bool onlyAdapters = std::all_of(ports.begin(), ports.end(), [](const HwFunctionDescriptor& p) {
        return p.device.category == kCategoryNic;
    });
    return onlyAdapters && !local::hasDriverOrService();
}

constexpr int kExitNothingToScan = 3;

} // namespace

int main(int argc, char** argv)
{
    bool vde = false, nic = false, why = false;
    int32_t order = 0;
    long repeat = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--order"))
            order = 1;
        else if (!std::strcmp(argv[i], "--vde"))
            vde = true;
        else if (!std::strcmp(argv[i], "--nic"))
            nic = true;
        else if (!std::strcmp(argv[i], "--why"))
            why = true;
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc) {
            char* end = nullptr;
            repeat = std::strtol(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || repeat < 1 || repeat > 100000)
                return Usage("--repeat needs a whole number from 1 to 100000");
        } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!std::strcmp(argv[i], "--version")) {
            std::puts("vdscan " HALVIX_VERSION);
            return 0;
        } else {
            return Usage((std::string("unknown argument ") + argv[i]).c_str());
        }
    }

    std::fprintf(stderr, "vdscan: scanning %s ...\n", local::scanScope().c_str());

    std::vector<HwFunctionDescriptor> ports;
    if (repeat > 0) {
        const auto start = std::chrono::steady_clock::now();
        for (long i = 0; i < repeat; ++i) {
            const VdResult rc = local::scanPorts(ports, vde, nic, order);
            if (!isSuccess(rc)) {
                std::fprintf(stderr, "vdscan: scan failed: %s\n", ResultName(rc));
                return 1;
            }
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("%zu ports; %ld scans; %.1f ms per two-call scan\n", ports.size(), repeat, ms / double(repeat));
        if (NothingToScan(ports)) {
            std::fprintf(stderr, "vdscan: %s\n", local::nothingToScanMessage().c_str());
            return kExitNothingToScan;
        }
        return 0;
    }

    const VdResult rc = local::scanPorts(ports, vde, nic, order);
    std::printf("%-12s %-6s %-4s %-15s %-5s %s\n", "serial", "type", "port", "direction", "index", "capabilities");
    for (const HwFunctionDescriptor& p : ports) {
        std::string caps = p.caps.ToString();
        for (char& c : caps)
            if (c == '\n')
                c = ' ';
        if (why) {
            const std::string reason = local::whyNotFree(p);
            caps += " [" + local::deviceFacts(p) + (reason.empty() ? "" : "; not free: " + reason) + "]";
        }
        std::printf("%-12lld %-6d %-4d %-15s %-5d %s\n", (long long)p.device.serial, p.device.typeNumber, p.port,
                    ChanTypeText(p.chanType), p.indexOnDevice, caps.c_str());
    }
    std::printf("%zu ports: %s\n", ports.size(), ResultName(rc));
    if (isSuccess(rc) && NothingToScan(ports)) {
        std::fprintf(stderr, "vdscan: %s\n", local::nothingToScanMessage().c_str());
        return kExitNothingToScan;
    }
    return isSuccess(rc) ? 0 : 1;
}
