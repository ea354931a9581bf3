// vdsvc: the device service's stand-in on Windows (run under Wine by the tests). Serves the pipe
// "VdeRecvPipe", the named mutex and the shared-memory list of a rig's Ethernet-attached
// devices, answering every command as vdsim's service does. The devices themselves (SOAP and
// WS-Discovery) are played by the Linux vdsim of the same rig, which Wine's sockets reach.
#include "devices/platform/Xp.h"
#include "devices/vde/PipeMessenger.h"
#include "sim/Rig.h"
#include "sim/ServiceHandler.h"
#include "sim/SharedList.h"
#include "sim/SimState.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace SP = Vdapi::ServiceProtocol;

const char* const kUsage = "usage: vdsvc --rig FILE [--list-version N] | --help | --version\n"
                           "  Plays the device service of the Ethernet-attached devices listed in FILE: the pipe\n"
                           "  \"VdeRecvPipe\", the named mutex and the shared-memory device list. Prints a line\n"
                           "  containing \"ready\" once they are served, then runs until it is ended.\n"
                           "  --list-version N writes N as the list's version word (default 1): a client that\n"
                           "  knows only version 1 then finds the devices by WS-Discovery instead.\n"
                           "Exit status: 1 unusable rig or objects that cannot be made, 2 bad usage.\n";

/// The service's view of the rig, shared by every connection.
struct Service {
    Service(vdsim::Rig rig, uint32_t listVersion) : state(std::move(rig)), listVersion(listVersion) {}

    /// Writes the plugged devices into the shared list.
    bool publish()
    {
        std::vector<SP::VdeListEntry> entries;
        {
            auto lock = state.lock();
            const auto& devices = state.rig().service.devices;
            for (size_t i = 0; i < devices.size(); ++i)
                if (state.servicePlugged(i)) entries.push_back(devices[i].entry);
        }
        std::lock_guard<std::mutex> lock(listMutex);
        return list.publish(entries, listVersion, int32_t(entries.size()));
    }

    /// Answers one client's requests until it goes away.
    void serve(std::unique_ptr<Vdapi::IXpPipeConnection> pipe, uint64_t id)
    {
        Vdapi::PipeMessenger messenger(std::move(pipe), SP::kMaxMessage);
        std::vector<uint8_t> request;
        while (messenger.Receive(request, Vdapi::kXpInfinite)) {
            vdsim::ServiceAnswer answer = vdsim::answerServiceRequest(state, request, id);
            if (answer.refreshList) publish();
            if (answer.hasReply && !messenger.Send(answer.reply.data(), uint32_t(answer.reply.size()))) return;
        }
    }

    vdsim::SimState state;
    const uint32_t listVersion;
    std::mutex listMutex;
    vdsim::SharedList list; // guarded by listMutex
};

} // namespace

int main(int argc, char** argv)
{
    std::string rigPath;
    uint32_t listVersion = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("vdsvc " HALVIX_VERSION);
            return 0;
        }
        if (arg == "--rig" && i + 1 < argc) {
            rigPath = argv[++i];
            continue;
        }
        if (arg == "--list-version" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || value > 0xFFFFFFFFul) {
                std::fprintf(stderr, "vdsvc: --list-version wants a number, not \"%s\"\n%s", argv[i], kUsage);
                return 2;
            }
            listVersion = uint32_t(value);
            continue;
        }
        std::fprintf(stderr, "vdsvc: unexpected argument \"%s\"\n%s", arg.c_str(), kUsage);
        return 2;
    }
    if (rigPath.empty()) {
        std::fprintf(stderr, "vdsvc: --rig is required\n%s", kUsage);
        return 2;
    }
    vdsim::Rig rig;
    try {
        rig = vdsim::loadRigFile(rigPath);
    } catch (const vdsim::RigError& e) {
        std::fprintf(stderr, "vdsvc: %s\n", e.what());
        return 1;
    }
    if (!rig.service.enabled) {
        std::fprintf(stderr, "vdsvc: the rig %s has no device service\n", rigPath.c_str());
        return 1;
    }
    Service service(std::move(rig), listVersion);
    std::string error;
    if (!service.list.create(service.state.rig().service.mutexName, service.state.rig().service.listName, error) ||
        !service.publish()) {
        std::fprintf(stderr, "vdsvc: cannot publish the device list: %s\n", error.c_str());
        return 1;
    }
    const std::unique_ptr<Vdapi::IXpPipeListener> listener = Vdapi::Xp::NewPipeListener();
    if (const Vdapi::VdResult r = listener ? listener->Create(SP::kPipeName) : Vdapi::VDAPI_E_OUT_OF_MEM;
        !Vdapi::isSuccess(r)) {
        std::fprintf(stderr, "vdsvc: cannot serve the pipe %s: result %u\n", SP::kPipeName, unsigned(r));
        return 1;
    }
    std::printf("vdsvc ready: rig %s, pipe %s\n", rigPath.c_str(), SP::kPipeName);
    std::fflush(stdout);

    std::vector<std::thread> connections;
    for (uint64_t id = 1;; ++id) {
        std::unique_ptr<Vdapi::IXpPipeConnection> pipe;
        const Vdapi::VdResult r = listener->Accept(pipe, Vdapi::kXpInfinite);
        if (!Vdapi::isSuccess(r)) {
            std::fprintf(stderr, "vdsvc: accepting a client failed: result %u\n", unsigned(r));
            break;
        }
        connections.emplace_back([&service, id, p = std::move(pipe)]() mutable { service.serve(std::move(p), id); });
    }
    listener->Close();
    for (std::thread& t : connections) t.join();
    return 1;
}
