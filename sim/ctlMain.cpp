// vdsimctl: sends one control command to a running vdsim and prints its answer.
#include "sim/ControlCommands.h"
#include "sim/SocketIo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
    "usage: vdsimctl --run-dir DIR [--timeout MS] COMMAND [ARGS...] | help | --help | --version\n"
    "Sends COMMAND to the simulator serving DIR (socket DIR/vdsim.ctl, one text line per\n"
    "command, answered by one line \"ok ...\" or \"error: why\"). Exit status: 0 ok (and help,\n"
    "version), 1 error answer, 2 bad usage, 3 no simulator or no answer within the timeout\n"
    "(default 10000 ms).\n"
    "\n"
    "Commands:\n";

void printHelp(FILE* to)
{
    std::fputs(kUsage, to);
    std::fputs(vdsim::controlHelpText().c_str(), to);
}

int usageError(const std::string& why)
{
    std::fprintf(stderr, "vdsimctl: %s\n", why.c_str());
    printHelp(stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string runDir;
    int timeoutMs = 10000;
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("vdsimctl " HALVIX_VERSION);
            return 0;
        }
        if (arg == "--run-dir" || arg == "--timeout") {
            if (i + 1 >= argc) return usageError(arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--run-dir") {
                runDir = value;
                continue;
            }
            char* end = nullptr;
            const long ms = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || ms <= 0 || ms > 3600000)
                return usageError("--timeout needs a number of milliseconds from 1 to 3600000");
            timeoutMs = int(ms);
        } else if (arg.rfind("--", 0) == 0) {
            return usageError("unknown option " + arg);
        } else {
            break;
        }
    }
    if (i >= argc) return usageError("no command given");
    // The command list is the simulator's own table: no simulator is needed to show it.
    if (i + 1 == argc && std::string(argv[i]) == "help") {
        printHelp(stdout);
        return 0;
    }
    if (runDir.empty()) return usageError("--run-dir is required");
    std::string line;
    for (; i < argc; ++i) {
        if (std::strchr(argv[i], '\n')) {
            std::fprintf(stderr, "vdsimctl: arguments cannot contain line breaks\n");
            return 2;
        }
        line += (line.empty() ? "" : " ") + std::string(argv[i]);
    }
    line += "\n";
    const std::string path = runDir + "/vdsim.ctl";
    vdsim::UniqueFd fd = vdsim::connectUnix(path);
    if (!fd) {
        std::fprintf(stderr, "vdsimctl: cannot reach the simulator at %s: %s\n", path.c_str(), std::strerror(errno));
        return 3;
    }
    if (!vdsim::writeFull(fd.get(), line.data(), line.size(), -1)) {
        std::fprintf(stderr, "vdsimctl: cannot send the command\n");
        return 3;
    }
    std::string reply;
    char c;
    while (reply.size() < 65536) {
        if (!vdsim::readFull(fd.get(), &c, 1, -1, timeoutMs)) {
            std::fprintf(stderr, "vdsimctl: no answer from the simulator within %d ms\n", timeoutMs);
            return 3;
        }
        if (c == '\n') break;
        reply.push_back(c);
    }
    std::printf("%s\n", reply.c_str());
    return reply.rfind("ok", 0) == 0 ? 0 : 1;
}
