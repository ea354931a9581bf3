// vdsimctl: sends one control command to a running vdsim and prints its answer.
#include "sim/SocketIo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kHelp =
    "usage: vdsimctl --run-dir DIR [--timeout MS] COMMAND [ARGS...]\n"
    "Sends COMMAND to the simulator serving DIR (socket DIR/vdsim.ctl, one text line per\n"
    "command, answered by one line \"ok ...\" or \"error: why\"). Exit status: 0 ok, 1 error\n"
    "answer, 2 bad usage, 3 no simulator or no answer within the timeout (default 10000 ms).\n"
    "\n"
    "Commands:\n"
    "  ping                          answer with the simulator's process id\n"
    "  devices                       list cards (serial:family:type:first index) and service devices\n"
    "  hold SERIAL PORT [BLOCK]      claim a port's function blocks as another user; BLOCK is\n"
    "                                all (default), dma, rx, tx, demod, mod or nw; an Ethernet\n"
    "                                device's port is claimed whole, through its service\n"
    "  release SERIAL PORT [BLOCK]   give up such a claim\n"
    "  holds SERIAL                  number of blocks of a card (ports of an Ethernet device)\n"
    "                                held by anyone\n"
    "  unplug SERIAL | plug SERIAL   remove or restore a card (its driver endpoints disappear and\n"
    "                                open handles are closed) or a service-list device\n"
    "  linkspeed SERIAL PORT CODE    set the driver link-speed code of an IP port (6 = link down)\n"
    "  fail KIND COUNT ERROR         the next COUNT requests of KIND fail with ERROR: a Windows\n"
    "                                error for driver request codes (KIND e.g. 0xafc86f1a), a\n"
    "                                result code for service commands (KIND svc:N); COUNT 0 clears\n"
    "  corrupt KIND COUNT            the next COUNT replies of KIND have a wrong length\n"
    "  delay MS [KIND]               delay every answer (or those of KIND) by MS; 0 removes\n"
    "  service stop | service start  take the device-service pipe away or bring it back\n"
    "  service version A.B.C[.D]     the version the service reports from now on\n"
    "  list version N                publish the shared list with version word N\n"
    "  list count N                  publish the shared list with count word N (e.g. 600)\n"
    "  list restore                  publish the list as it should be\n"
    "  counters                      requests served per kind, e.g. \"ok 0xafc86ee2=3 svc:0=1\"\n"
    "  counters reset                set them all to zero (\"open\" counts driver connections,\n"
    "                                \"batch\" request batches, each request of one counted too)\n"
    "  fastpath on|off               grant (default) or refuse shared-memory request slots to\n"
    "                                driver connections made from now on\n"
    "  batches on|off                answer (default) or refuse request batches as an older\n"
    "                                driver would\n";

} // namespace

int main(int argc, char** argv)
{
    std::string runDir;
    int timeoutMs = 10000;
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--run-dir" && i + 1 < argc) runDir = argv[++i];
        else if (arg == "--timeout" && i + 1 < argc) timeoutMs = std::atoi(argv[++i]);
        else break;
    }
    if (runDir.empty() || i >= argc || timeoutMs <= 0) {
        std::fputs(kHelp, stderr);
        return 2;
    }
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
