// vdsim: the hardware simulator. Serves the kernel-driver endpoints, the device service and
// the control socket of a rig below a run directory until SIGTERM or SIGINT.
#include "sim/Simulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
                 "usage: vdsim --rig FILE --run-dir DIR | --help | --version\n"
                 "  Plays the kernel drivers and the device service of the devices listed in FILE,\n"
                 "  below DIR (drivers/, pipe/, mutex/, shm/, vdsim.ctl). Prints a line containing\n"
                 "  \"ready\" once everything is served; SIGTERM or SIGINT stops it and removes what\n"
                 "  it created. Control it with vdsimctl --run-dir DIR COMMAND (vdsimctl help).\n"
                 "Exit status: 0 stopped by a signal (or help), 1 unusable rig or run directory, 2 bad usage.\n";

int usage(const char* why)
{
    std::fprintf(stderr, "vdsim: %s\n%s", why, kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string rigPath, runDir;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("vdsim " HALVIX_VERSION);
            return 0;
        }
        if ((arg == "--rig" || arg == "--run-dir") && i + 1 < argc) (arg == "--rig" ? rigPath : runDir) = argv[++i];
        else return usage(("unexpected argument \"" + arg + "\"").c_str());
    }
    if (rigPath.empty() || runDir.empty()) return usage("--rig and --run-dir are required");

    vdsim::Rig rig;
    try {
        rig = vdsim::loadRigFile(rigPath);
    } catch (const vdsim::RigError& e) {
        std::fprintf(stderr, "vdsim: %s\n", e.what());
        return 1;
    }

    // Every path below the run directory is derived from VDAPI_RUN_DIR, as in the device layer.
    ::setenv("VDAPI_RUN_DIR", runDir.c_str(), 1);
    // Signals are taken synchronously by sigwait; block them before any thread starts.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    vdsim::Simulator sim(std::move(rig));
    std::string error;
    if (!sim.start(error)) {
        std::fprintf(stderr, "vdsim: cannot serve below %s: %s\n", runDir.c_str(), error.c_str());
        return 1;
    }
    std::printf("vdsim ready: rig %s, run dir %s\n", rigPath.c_str(), runDir.c_str());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.stop();
    std::fprintf(stderr, "vdsim: stopped by signal %d\n", sig);
    return 0;
}
