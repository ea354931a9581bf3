// The control command handlers and the control connection's line reading.
#include "sim/ControlDesk.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sstream>

namespace vdsim {

namespace DP = Vdapi::DriverProtocol;

namespace {

std::vector<std::string> splitWords(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

/// Strict integer: decimal or 0x-hex, the whole word, within [lo, hi].
bool parseInt(const std::string& s, int64_t lo, int64_t hi, int64_t& out)
{
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) v = (long long)std::strtoull(s.c_str(), &end, 16);
    else v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || v < lo || v > hi) return false;
    out = v;
    return true;
}

/// Request kind from "svc:N" or a driver request code; empty when malformed.
std::string parseKind(const std::string& s)
{
    int64_t v;
    if (s.rfind("svc:", 0) == 0) return parseInt(s.substr(4), INT32_MIN, INT32_MAX, v) ? serviceKind(int32_t(v)) : "";
    if (s.rfind("vde:", 0) == 0) {
        // vde:OPERATION:SERIAL, the request kinds of the Ethernet devices.
        const size_t colon = s.find(':', 4);
        if (colon == std::string::npos || !parseInt(s.substr(colon + 1), 1, INT64_MAX, v)) return "";
        const std::string op = s.substr(4, colon - 4);
        for (const char* known : {"probe", "attach", "getdescriptor", "detach", "getioconfig"})
            if (op == known) return s;
        return "";
    }
    return parseInt(s, 0, UINT32_MAX, v) ? driverKind(uint32_t(v)) : "";
}

bool blockTypeFromName(const std::string& s, BlockType& t)
{
    static const std::pair<const char*, BlockType> names[] = {
        {"dma", BlockType::Dma},     {"rx", BlockType::Receive}, {"tx", BlockType::Transmit},
        {"demod", BlockType::Demod}, {"mod", BlockType::Mod},    {"nw", BlockType::Network}};
    for (const auto& [n, bt] : names)
        if (s == n) {
            t = bt;
            return true;
        }
    return false;
}

/// Serves a command whose only argument is "on" or "off": `apply` gets which and answers.
template <class Apply> std::string onOff(const ControlWords& a, Apply apply)
{
    if (a.size() != 2 || (a[1] != "on" && a[1] != "off")) return usageRefusal(a[0]);
    return apply(a[1] == "on");
}

} // namespace

std::string ControlDesk::holdOrRelease(const ControlWords& a, bool hold)
{
    int64_t serial, port;
    if (a.size() < 3 || a.size() > 4 || !parseInt(a[1], 1, INT64_MAX, serial) || !parseInt(a[2], 1, 64, port))
        return usageRefusal(a[0]);
    auto lk = state_.lock();
    const auto& devs = state_.rig().devices;
    size_t d = 0;
    while (d < devs.size() && devs[d].serial != serial) ++d;
    if (d == devs.size()) return holdEthernetPort(a, serial, int32_t(port), hold);
    if (size_t(port) > devs[d].ports.size()) return "error: card " + a[1] + " has " + std::to_string(devs[d].ports.size()) + " ports";
    const PortSpec& p = devs[d].ports[size_t(port - 1)];
    std::vector<DP::BlockId> blocks;
    std::string which = a.size() == 4 ? a[3] : "all";
    if (which == "all") {
        for (BlockType t : {BlockType::Dma, BlockType::Receive, BlockType::Transmit, BlockType::Demod, BlockType::Mod, BlockType::Network})
            if (portHasBlock(p, t)) blocks.push_back(blockId(t, int(port - 1)));
    } else {
        BlockType t;
        if (!blockTypeFromName(which, t)) return "error: unknown block \"" + which + "\"";
        if (!portHasBlock(p, t)) return "error: port " + a[2] + " has no " + which + " block";
        blocks.push_back(blockId(t, int(port - 1)));
    }
    if (blocks.empty()) return "error: port " + a[2] + " has no function blocks";
    uint32_t err = hold ? state_.acquire(d, blocks, kOtherUser) : state_.release(d, blocks, kOtherUser);
    if (err) return "error: held by a client connection";
    return "ok " + std::string(hold ? "held " : "released ") + std::to_string(blocks.size()) + " blocks";
}

std::string ControlDesk::holdEthernetPort(const ControlWords& a, int64_t serial, int32_t port, bool hold)
{
    const auto& devs = state_.rig().service.devices;
    auto d = std::find_if(devs.begin(), devs.end(), [serial](const ServiceDevice& sd) { return sd.entry.serial == serial; });
    if (d == devs.end()) return "error: no card or Ethernet device with serial " + a[1];
    if (size_t(port) > d->ports.size())
        return "error: device " + a[1] + " has " + std::to_string(d->ports.size()) + " ports";
    if (a.size() == 4 && a[3] != "all") return "error: an Ethernet device's port is held as a whole";
    if (state_.holdEthernetPort(serial, port, hold) != 0) return "error: held by a client connection";
    return "ok " + std::string(hold ? "held" : "released") + " port " + a[2];
}

std::string ControlDesk::plugOrUnplug(const ControlWords& a, bool plug)
{
    int64_t serial;
    if (a.size() != 2 || !parseInt(a[1], 1, INT64_MAX, serial)) return usageRefusal(a[0]);
    std::optional<size_t> card;
    {
        auto lk = state_.lock();
        const auto& devs = state_.rig().devices;
        for (size_t d = 0; d < devs.size(); ++d)
            if (devs[d].serial == serial) card = d;
        if (card) {
            if (state_.plugged(*card) == plug) return "ok already " + std::string(plug ? "plugged" : "unplugged");
            state_.setPlugged(*card, plug);
            if (!plug) state_.releaseDevice(*card);
        }
    }
    if (card) {
        size_t d = *card;
        if (!plug) {
            pool_.retire([d](ListenerKind k, const Endpoint& ep) { return k == ListenerKind::Driver && ep.device == d; });
            return "ok unplugged";
        }
        std::string error;
        if (!drivers_.listen(d, error)) return "error: " + error;
        return "ok plugged";
    }
    {
        auto slk = state_.lock();
        const auto& devs = state_.rig().service.devices;
        size_t i = 0;
        while (i < devs.size() && devs[i].entry.serial != serial) ++i;
        if (i == devs.size()) return "error: no device with serial " + a[1];
        state_.setServicePlugged(i, plug);
    }
    return service_.republish() ? std::string(plug ? "ok plugged" : "ok unplugged") : "error: cannot publish the list";
}

std::string ControlDesk::service(const ControlWords& a)
{
    if (a.size() >= 2 && a[1] == "version") {
        Version v;
        if (a.size() != 3 || !parseVersion(a[2], v)) return usageRefusal(a[0], a[1]);
        auto lk = state_.lock();
        state_.rig().service.version = v;
        return "ok service version " + a[2];
    }
    if (a.size() != 2 || (a[1] != "stop" && a[1] != "start")) return usageRefusal(a[0]);
    std::string error;
    switch (service_.setRunning(a[1] == "start", error)) {
    case ServicePipe::Change::Already: return a[1] == "stop" ? "ok already stopped" : "ok already running";
    case ServicePipe::Change::Failed: return "error: " + error;
    case ServicePipe::Change::Done: break;
    }
    return a[1] == "stop" ? "ok service stopped" : "ok service started";
}

std::string ControlDesk::list(const ControlWords& a)
{
    int64_t v;
    bool published;
    if (a.size() == 2 && a[1] == "restore")
        published = service_.publishRestored();
    else if (a.size() == 3 && a[1] == "version" && parseInt(a[2], 0, UINT32_MAX, v))
        published = service_.publishVersion(uint32_t(v));
    else if (a.size() == 3 && a[1] == "count" && parseInt(a[2], INT32_MIN, INT32_MAX, v))
        published = service_.publishCount(int32_t(v));
    else
        return usageRefusal(a[0]);
    return published ? "ok list published" : "error: cannot publish the list";
}

std::string ControlDesk::fastPath(const ControlWords& a)
{
    return onOff(a, [this](bool on) {
        drivers_.allowSlots(on);
        return "ok shared-memory slots " + std::string(on ? "granted" : "refused") + " from now on";
    });
}

std::string ControlDesk::batches(const ControlWords& a)
{
    return onOff(a, [this](bool on) {
        drivers_.takeBatches(on);
        return "ok request batches " + std::string(on ? "answered" : "refused as unknown") + " from now on";
    });
}

std::string ControlDesk::fillOpen(const ControlWords& a)
{
    long byte = -1;
    if (a.size() == 2 && a[1] != "off") {
        char* end = nullptr;
        byte = std::strtol(a[1].c_str(), &end, 16);
        if (a[1].size() != 2 || *end != 0 || byte < 0 || byte > 255) byte = -2;
    }
    if (a.size() != 2 || byte == -2) return usageRefusal(a[0]);
    state_.setOpenFill(int(byte));
    service_.republish();
    return byte < 0 ? "ok open reply bytes are zero from now on"
                    : "ok open reply bytes are 0x" + a[1] + " from now on";
}

std::string ControlDesk::vde(const ControlWords& a)
{
    if (a.size() >= 2 && a[1] == "opmode") {
        int64_t serial, mode;
        if (a.size() != 4 || !parseInt(a[2], 1, INT64_MAX, serial) || !parseInt(a[3], INT32_MIN, INT32_MAX, mode))
            return usageRefusal(a[0], a[1]);
        {
            auto slk = state_.lock();
            bool found = false;
            for (auto& d : state_.rig().service.devices)
                if (d.entry.serial == serial) {
                    d.entry.opMode = int32_t(mode);
                    found = true;
                }
            if (!found) return "error: no Ethernet device with serial " + a[2];
        }
        return service_.republish() ? "ok operating mode " + a[3] : "error: cannot publish the list";
    }
    return ethernet_.control(a);
}

std::string ControlDesk::help(const ControlWords&) { return "ok " + controlHelpLine(); }

std::string ControlDesk::ping(const ControlWords&) { return "ok vdsim " + std::to_string(::getpid()); }

std::string ControlDesk::devices(const ControlWords&)
{
    std::string out = "ok";
    auto lk = state_.lock();
    const auto& devs = state_.rig().devices;
    for (size_t d = 0; d < devs.size(); ++d)
        out += " " + std::to_string(devs[d].serial) + ":" + familyName(devs[d].family) + ":" +
               std::to_string(devs[d].typeNumber) + ":" + std::to_string(devs[d].firstIndex) +
               (state_.plugged(d) ? "" : ":unplugged");
    for (const auto& sd : state_.rig().service.devices)
        out += " " + std::to_string(sd.entry.serial) + ":vde:" + std::to_string(sd.entry.typeNumber);
    return out;
}

std::string ControlDesk::holds(const ControlWords& a)
{
    int64_t n;
    if (a.size() != 2 || !parseInt(a[1], 1, INT64_MAX, n)) return usageRefusal(a[0]);
    auto lk = state_.lock();
    const auto& devs = state_.rig().devices;
    for (size_t d = 0; d < devs.size(); ++d)
        if (devs[d].serial == n) return "ok " + std::to_string(state_.holdCount(d));
    for (const auto& sd : state_.rig().service.devices)
        if (sd.entry.serial == n) return "ok " + std::to_string(state_.ethernetHoldCount(n));
    return "error: no card or Ethernet device with serial " + a[1];
}

std::string ControlDesk::linkSpeed(const ControlWords& a)
{
    int64_t n, m, code;
    if (a.size() != 4 || !parseInt(a[1], 1, INT64_MAX, n) || !parseInt(a[2], 1, 64, m) ||
        !parseInt(a[3], INT32_MIN, INT32_MAX, code))
        return usageRefusal(a[0]);
    auto lk = state_.lock();
    for (auto& d : state_.rig().devices)
        if (d.serial == n) {
            if (size_t(m) > d.ports.size()) return "error: no port " + a[2];
            if (!d.ports[size_t(m - 1)].caps.count("IP")) return "error: port " + a[2] + " is not an IP port";
            d.ports[size_t(m - 1)].linkSpeedCode = int32_t(code);
            return "ok link speed code " + a[3];
        }
    return "error: no card with serial " + a[1];
}

std::string ControlDesk::fail(const ControlWords& a)
{
    int64_t n, m;
    std::string kind = a.size() == 4 ? parseKind(a[1]) : "";
    if (kind.empty() || !parseInt(a[2], 0, 1000000, n) || !parseInt(a[3], 0, UINT32_MAX, m)) return usageRefusal(a[0]);
    state_.failNext(kind, int(n), uint32_t(m));
    return "ok " + kind + " fails " + a[2] + " times";
}

std::string ControlDesk::corrupt(const ControlWords& a)
{
    int64_t n;
    std::string kind = a.size() == 3 ? parseKind(a[1]) : "";
    if (kind.empty() || !parseInt(a[2], 0, 1000000, n)) return usageRefusal(a[0]);
    state_.corruptNext(kind, int(n));
    return "ok " + kind + " corrupted " + a[2] + " times";
}

std::string ControlDesk::delay(const ControlWords& a)
{
    int64_t n;
    std::string kind = a.size() == 3 ? parseKind(a[2]) : "";
    if (a.size() < 2 || a.size() > 3 || !parseInt(a[1], 0, 600000, n) || (a.size() == 3 && kind.empty()))
        return usageRefusal(a[0]);
    state_.setDelay(kind, int(n));
    return "ok delay " + a[1] + " ms" + (kind.empty() ? "" : " for " + kind);
}

std::string ControlDesk::counters(const ControlWords& a)
{
    if (a.size() == 2 && a[1] == "reset") {
        state_.resetCounters();
        return "ok counters reset";
    }
    if (a.size() != 1) return usageRefusal(a[0]);
    std::string out = "ok";
    for (const auto& [k, v] : state_.counters()) out += " " + k + "=" + std::to_string(v);
    return out;
}

std::string ControlDesk::run(const std::string& line)
{
    const ControlWords a = splitWords(line);
    if (a.empty()) return "error: empty command";
    const ControlCommand* command = findControlCommand(a[0]);
    if (!command) return "error: unknown command \"" + a[0] + "\" (try help)";
    return (this->*command->handler)(a);
}

void ControlDesk::serve(Connection& c)
{
    constexpr size_t kMaxLine = 4096;
    const int stop = pool_.stopFd();
    std::string pending;
    char buf[512];
    for (;;) {
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::string reply = run(line) + "\n";
            if (!writeFull(c.fd.get(), reply.data(), reply.size(), stop)) return;
        }
        if (pending.size() > kMaxLine) {
            const std::string reply = "error: line too long\n";
            writeFull(c.fd.get(), reply.data(), reply.size(), stop);
            return;
        }
        long got = readSome(c.fd.get(), buf, sizeof buf, stop);
        if (got <= 0) return;
        pending.append(buf, size_t(got));
    }
}

} // namespace vdsim
