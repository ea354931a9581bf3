// The running simulator: sockets, threads, the device list and the control commands.
#include "sim/Simulator.h"

#include "devices/DriverClass.h"
#include "devices/platform/posix/DriverWire.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/UnixSocket.h"
#include "sim/ControlCommands.h"
#include "sim/ServiceHandler.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace vdsim {

namespace DP = Vdapi::DriverProtocol;
namespace DW = Vdapi::DriverWire;
namespace SP = Vdapi::ServiceProtocol;

namespace {

// The run directory and its folders: owner and group only, whatever the umask.
constexpr mode_t kRunDirMode = 0770;

void logLine(const std::string& text)
{
    static std::mutex logMutex;
    std::lock_guard<std::mutex> lk(logMutex);
    std::fprintf(stderr, "vdsim: %s\n", text.c_str());
    std::fflush(stderr);
}

bool makePipe(UniqueFd& r, UniqueFd& w)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    r.reset(fds[0]);
    w.reset(fds[1]);
    return true;
}

std::string controlPath() { return Vdapi::RunDir::root() + "/vdsim.ctl"; }

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

} // namespace

Simulator::Simulator(Rig rig) : state_(std::move(rig))
{
    auto lk = state_.lock();
    serviceRunning_ = state_.rig().service.enabled;
}

Simulator::~Simulator() { stop(); }

std::vector<Endpoint> Simulator::endpointsOf(size_t device)
{
    auto lk = state_.lock();
    const DeviceSpec& d = state_.rig().devices[device];
    const DriverSpec& drv = state_.rig().drivers[d.family];
    std::vector<Endpoint> out;
    if (d.family == Family::Legacy) {
        for (int f = 0; f < int(d.functionPorts.size()); ++f) {
            if (drv.interfaces) out.push_back({d.family, device, f, d.firstIndex + f, false});
            if (drv.names) out.push_back({d.family, device, f, d.firstIndex + f, true});
        }
    } else {
        out.push_back({d.family, device, 0, d.firstIndex, false});
    }
    return out;
}

std::string Simulator::pathOf(const Endpoint& ep) const
{
    if (ep.legacyName) return Vdapi::RunDir::legacyDriver(Vdapi::kLegacyDriverNamePrefix + std::to_string(ep.index));
    const char* guid = Vdapi::DriverClassGuid(Vdapi::DriverClass::Pcie);
    if (ep.family == Family::Legacy) guid = Vdapi::DriverClassGuid(Vdapi::DriverClass::LegacyPci);
    else if (ep.family == Family::Bb2) guid = Vdapi::DriverClassGuid(Vdapi::DriverClass::Bb2);
    else if (ep.family == Family::Usb) guid = Vdapi::DriverClassGuid(Vdapi::DriverClass::Usb);
    return Vdapi::RunDir::driverInterface(guid, unsigned(ep.index));
}

bool Simulator::addListener(const std::string& path, Kind kind, const Endpoint& ep, std::string& error)
{
    UniqueFd fd = listenUnix(path, error);
    if (!fd) return false;
    auto l = std::make_unique<Listener>();
    l->fd = std::move(fd);
    l->path = path;
    l->kind = kind;
    l->endpoint = ep;
    {
        std::lock_guard<std::mutex> lk(listenMutex_);
        listeners_.push_back(std::move(l));
    }
    char one = 1;
    (void)!::write(wakeWrite_.get(), &one, 1);
    return true;
}

template <class Pred> void Simulator::retire(Pred matches)
{
    {
        std::lock_guard<std::mutex> lk(listenMutex_);
        for (auto& l : listeners_)
            if (!l->retired && matches(l->kind, l->endpoint)) {
                ::unlink(l->path.c_str());
                l->retired = true;
            }
    }
    {
        std::lock_guard<std::mutex> lk(connMutex_);
        for (auto& c : connections_)
            if (c->fd >= 0 && matches(c->kind, c->endpoint)) {
                // A connection on a slot may be mid-way to its next request; the flag stops it
                // as the shut-down socket stops one that reads the socket.
                c->closing.store(true);
                ::shutdown(c->fd, SHUT_RDWR);
            }
    }
    char one = 1;
    (void)!::write(wakeWrite_.get(), &one, 1);
}

bool Simulator::start(std::string& error)
{
    {
        std::lock_guard<std::mutex> lk(stopMutex_);
        if (started_) {
            error = "already started";
            return false;
        }
        started_ = true;
    }
    if (!makePipe(stopRead_, stopWrite_) || !makePipe(wakeRead_, wakeWrite_)) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const std::string root = Vdapi::RunDir::root();
    if (connectUnix(controlPath())) {
        // Replacing its sockets would leave a live simulator serving nothing.
        error = "another simulator is serving " + root;
        std::lock_guard<std::mutex> lk(stopMutex_);
        started_ = false;
        return false;
    }
    std::vector<std::string> dirs = {root, root + "/drivers", root + "/pipe", root + "/mutex", root + "/shm"};
    for (Vdapi::DriverClass c : {Vdapi::DriverClass::Pcie, Vdapi::DriverClass::LegacyPci, Vdapi::DriverClass::Bb2, Vdapi::DriverClass::Usb})
        dirs.push_back(root + "/drivers/" + Vdapi::DriverClassGuid(c));
    for (const auto& dir : dirs) {
        if (::mkdir(dir.c_str(), kRunDirMode) == 0) {
            createdDirs_.push_back(dir);
            // mkdir's mode passes through the umask; the folders are for the owner and its group.
            if (::chmod(dir.c_str(), kRunDirMode) != 0) {
                error = dir + ": " + std::strerror(errno);
                stop();
                return false;
            }
        } else if (errno != EEXIST) {
            error = dir + ": " + std::strerror(errno);
            stop();
            return false;
        }
    }
    bool ok = addListener(controlPath(), Kind::Control, {}, error);
    size_t deviceCount;
    {
        auto lk = state_.lock();
        deviceCount = state_.rig().devices.size();
    }
    for (size_t d = 0; ok && d < deviceCount; ++d) {
        bool present;
        {
            auto lk = state_.lock();
            present = state_.plugged(d);
        }
        if (!present) continue;
        for (const auto& ep : endpointsOf(d))
            if (ok) ok = addListener(pathOf(ep), Kind::Driver, ep, error);
    }
    if (ok) {
        std::lock_guard<std::mutex> lk(svcMutex_);
        std::string mutexName, listName;
        {
            auto slk = state_.lock();
            mutexName = state_.rig().service.mutexName;
            listName = state_.rig().service.listName;
        }
        ok = list_.create(mutexName, listName, error);
        if (ok && serviceRunning_) ok = addListener(Vdapi::RunDir::pipe(SP::kPipeName), Kind::Service, {}, error);
    }
    if (ok) {
        std::lock_guard<std::mutex> lk(svcMutex_);
        if (!publishList()) {
            error = "cannot publish the device list";
            ok = false;
        }
    }
    if (!ok) {
        stop();
        return false;
    }
    ethernet_.start(&logLine);
    {
        std::lock_guard<std::mutex> lk(workMutex_);
        workers_.emplace_back([this] { workerLoop(); });
    }
    return true;
}

void Simulator::stop()
{
    {
        std::lock_guard<std::mutex> lk(stopMutex_);
        if (!started_ || stopping_) return;
        stopping_ = true;
    }
    stopCv_.notify_all();
    if (stopWrite_) {
        char one = 1;
        (void)!::write(stopWrite_.get(), &one, 1);
    }
    ethernet_.stop();
    std::vector<std::thread> workers;
    {
        // Once the flag is set no worker adds another one.
        std::lock_guard<std::mutex> lk(workMutex_);
        workersStop_ = true;
        workers.swap(workers_);
    }
    workCv_.notify_all();
    for (auto& worker : workers) worker.join();
    {
        // Connections accepted but never served.
        std::lock_guard<std::mutex> lk(connMutex_);
        for (auto& c : connections_)
            if (c->fd >= 0) ::close(c->fd);
        connections_.clear();
    }
    {
        std::lock_guard<std::mutex> lk(listenMutex_);
        for (auto& l : listeners_)
            if (!l->retired) ::unlink(l->path.c_str());
        listeners_.clear();
    }
    {
        std::lock_guard<std::mutex> lk(svcMutex_);
        list_.destroy();
    }
    for (auto it = createdDirs_.rbegin(); it != createdDirs_.rend(); ++it) ::rmdir(it->c_str());
    createdDirs_.clear();
}

bool Simulator::waitStop(int ms)
{
    std::unique_lock<std::mutex> lk(stopMutex_);
    return stopCv_.wait_for(lk, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

Simulator::Connection* Simulator::acceptOne()
{
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Listener*> polled;
        {
            std::lock_guard<std::mutex> lk(listenMutex_);
            std::erase_if(listeners_, [](const auto& l) { return l->retired; });
            for (auto& l : listeners_) {
                fds.push_back({l->fd.get(), POLLIN, 0});
                polled.push_back(l.get());
            }
        }
        fds.push_back({wakeRead_.get(), POLLIN, 0});
        fds.push_back({stopRead_.get(), POLLIN, 0});
        int rc = ::poll(fds.data(), fds.size(), -1);
        if (rc < 0 && errno != EINTR) {
            logLine(std::string("poll: ") + std::strerror(errno));
            return nullptr;
        }
        if (fds.back().revents & POLLIN) return nullptr;
        if (fds[fds.size() - 2].revents & POLLIN) {
            char buf[64];
            while (::read(wakeRead_.get(), buf, sizeof buf) > 0) {
            }
        }
        for (size_t i = 0; i < polled.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            int cfd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (cfd < 0) continue;
            Connection* raw;
            {
                std::lock_guard<std::mutex> lk(connMutex_);
                auto c = std::make_unique<Connection>();
                c->id = nextConnectionId_++;
                c->fd = cfd;
                c->kind = polled[i]->kind;
                c->endpoint = polled[i]->endpoint;
                raw = c.get();
                connections_.push_back(std::move(c));
            }
            if (raw->kind == Kind::Driver) state_.countEvent("open");
            return raw;
        }
    }
}

void Simulator::workerLoop()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lk(workMutex_);
            ++idleWorkers_;
            workCv_.wait(lk, [this] { return workersStop_ || !leaderActive_; });
            --idleWorkers_;
            if (workersStop_) return;
            leaderActive_ = true;
        }
        Connection* c = acceptOne();
        {
            // Hand the listening sockets on before serving; with no idle worker left, a new
            // one takes them.
            std::lock_guard<std::mutex> lk(workMutex_);
            leaderActive_ = false;
            if (c && idleWorkers_ == 0 && !workersStop_) workers_.emplace_back([this] { workerLoop(); });
        }
        workCv_.notify_one();
        if (!c) return; // stopping
        serve(c);
    }
}

void Simulator::serve(Connection* c)
{
    switch (c->kind) {
    case Kind::Driver: serveDriver(*c); break;
    case Kind::Service: serveService(*c); break;
    case Kind::Control: serveControl(*c); break;
    }
    {
        auto lk = state_.lock();
        state_.releaseAll(c->id); // the handle closed: its claims end with it
    }
    std::lock_guard<std::mutex> lk(connMutex_);
    ::close(c->fd);
    c->fd = -1;
    connections_.remove_if([c](const std::unique_ptr<Connection>& held) { return held.get() == c; });
}

DriverReply Simulator::answerDriver(Connection& c, uint32_t code, const std::vector<uint8_t>& input,
                                    uint32_t outputCapacity, bool& stopping)
{
    if (code == DW::kRequestBatch) return answerBatch(c, input, outputCapacity, stopping);
    DriverReply reply;
    FaultDecision fault = state_.beginRequest(driverKind(code));
    if (fault.delayMs > 0 && waitStop(fault.delayMs)) {
        stopping = true;
        return reply;
    }
    if (fault.failWith) {
        reply.windowsError = *fault.failWith;
        return reply;
    }
    reply = answerDriverRequest(state_, c.endpoint, c.id, code, input, outputCapacity);
    if (fault.corrupt) {
        if (reply.output.empty() && outputCapacity > 0) reply.output.push_back(0xEE);
        else reply.output.resize(reply.output.size() / 2);
    }
    return reply;
}

DriverReply Simulator::answerBatch(Connection& c, const std::vector<uint8_t>& input, uint32_t outputCapacity,
                                   bool& stopping)
{
    DriverReply refused;
    if (!batchesTaken_.load()) {
        // Plays a driver that predates batches.
        refused.windowsError = DW::kErrorInvalidFunction;
        return refused;
    }
    refused.windowsError = DW::kErrorInvalidParameter;
    // Every header and length is checked against the input and the answer room before any
    // request of the batch is answered: a batch is served whole or not at all.
    std::vector<BatchItem> items;
    switch (parseBatchRequest(input, outputCapacity, items)) {
    case BatchParse::Ok: break;
    case BatchParse::BadHeader: return refused;
    case BatchParse::BadTotal:
        logLine("malformed driver request batch of " + std::to_string(items.size()) + " refused");
        return refused;
    }
    state_.countEvent("batch");
    DriverReply packed;
    packed.output.resize(DW::kBatchCountSize);
    DW::putU32(packed.output.data(), uint32_t(items.size()));
    std::vector<uint8_t> one;
    for (const BatchItem& item : items) {
        one.assign(input.begin() + std::ptrdiff_t(item.inputAt),
                   input.begin() + std::ptrdiff_t(item.inputAt + item.header.inputLength));
        const DriverReply reply = answerDriver(c, item.header.code, one, item.header.outputCapacity, stopping);
        if (stopping) return packed;
        const size_t length = std::min<size_t>(reply.output.size(), item.header.outputCapacity);
        uint8_t rh[DW::kReplyHeaderSize];
        DW::encode(DW::ReplyHeader{reply.windowsError, uint32_t(length)}, rh);
        packed.output.insert(packed.output.end(), rh, rh + sizeof rh);
        packed.output.insert(packed.output.end(), reply.output.begin(), reply.output.begin() + std::ptrdiff_t(length));
    }
    return packed;
}

bool Simulator::grantSlot(Connection& c, const std::vector<uint8_t>& input, Vdapi::DriverSlot& slot)
{
    UniqueFd file;
    uint32_t granted = 0;
    if (slotsAllowed_.load() && input.size() == DW::kNegotiateSize && DW::getU32(input.data()) == DW::kSlotVersion) {
        granted = std::min(DW::getU32(input.data() + 4), DW::kMaxPayload);
        if (granted > 0) file = slot.Create(granted);
        if (!file) logLine(std::string("no shared-memory slot for a driver connection: ") + std::strerror(errno));
    }
    uint8_t reply[DW::kReplyHeaderSize + DW::kNegotiateSize] = {};
    uint8_t rh[DW::kReplyHeaderSize];
    if (!file) {
        slot.Reset();
        DW::encode(DW::ReplyHeader{DW::kErrorInvalidFunction, 0}, rh);
        return writeFull(c.fd, rh, sizeof rh, stopRead_.get());
    }
    DW::encode(DW::ReplyHeader{0, uint32_t(DW::kNegotiateSize)}, rh);
    std::memcpy(reply, rh, sizeof rh);
    DW::putU32(reply + DW::kReplyHeaderSize, DW::kSlotVersion);
    DW::putU32(reply + DW::kReplyHeaderSize + 4, granted);
    // The file travels with the reply's bytes; whatever a short send leaves follows as plain data.
    const ssize_t n = Vdapi::SendWithDescriptor(c.fd, reply, sizeof reply, file.get());
    if (n <= 0) return false;
    return size_t(n) == sizeof reply || writeFull(c.fd, reply + n, sizeof reply - size_t(n), stopRead_.get());
}

void Simulator::serveSlot(Connection& c, Vdapi::DriverSlot& slot)
{
    // Spin a little after each answer: a scan sends its next request within microseconds.
    constexpr int kSpinMicros = 20;
    constexpr int kSliceMs = 20; // bounds how late a dead client or a stop is noticed
    const int stop = stopRead_.get();
    auto clientStillThere = [&] {
        // The client never writes to the socket once it has a slot: readable means closed.
        pollfd fds[2] = {{c.fd, POLLIN, 0}, {stop, POLLIN, 0}};
        const int n = ::poll(fds, 2, 0);
        return n == 0 || (n < 0 && errno == EINTR);
    };
    // A new slot starts at sequence 0; the client may have posted its first request already.
    uint32_t seq = 0;
    std::vector<uint8_t> input;
    for (;;) {
        if (slot.WaitForChange(DW::kSlotRequestSeqAt, DW::kSlotDriverSleepingAt, seq, kSpinMicros, kSliceMs,
                               clientStillThere) != Vdapi::SlotWait::Changed)
            return;
        if (c.closing.load()) return;
        seq = slot.Load(DW::kSlotRequestSeqAt);
        // Each field is read once and checked before the payload is touched.
        const uint32_t code = slot.Load(DW::kSlotCodeAt);
        const uint32_t inputLength = slot.Load(DW::kSlotInputLengthAt);
        const uint32_t outputCapacity = slot.Load(DW::kSlotOutputCapacityAt);
        DriverReply reply;
        if (inputLength > slot.Capacity() || outputCapacity > slot.Capacity()) {
            logLine("slot request with input " + std::to_string(inputLength) + " and capacity " +
                    std::to_string(outputCapacity) + " bytes refused");
            reply.windowsError = DW::kErrorInvalidParameter;
        } else {
            input.assign(slot.Payload(), slot.Payload() + inputLength);
            bool stopping = false;
            reply = answerDriver(c, code, input, outputCapacity, stopping);
            if (stopping) return;
        }
        // answerDriverRequest never answers more than the capacity; corruption only shortens.
        const size_t length = std::min<size_t>(reply.output.size(), outputCapacity);
        if (length > 0) std::memcpy(slot.Payload(), reply.output.data(), length);
        slot.Store(DW::kSlotErrorAt, reply.windowsError);
        slot.Store(DW::kSlotOutputLengthAt, uint32_t(length));
        slot.Publish(DW::kSlotReplySeqAt, DW::kSlotClientSleepingAt, seq);
    }
}

void Simulator::serveDriver(Connection& c)
{
    // A client's next request on a handle follows its last answer within microseconds.
    constexpr int kDriverSpinMicros = 30;
    const int stop = stopRead_.get();
    for (;;) {
        uint8_t hdr[DW::kRequestHeaderSize];
        if (!readFull(c.fd, hdr, sizeof hdr, stop, -1, kDriverSpinMicros)) return;
        DW::RequestHeader h = DW::decodeRequest(hdr);
        DriverReply reply;
        bool keep = true;
        if (h.inputLength > DW::kMaxPayload || h.outputCapacity > DW::kMaxPayload) {
            // The rest of the stream cannot be trusted: answer, then drop the connection.
            logLine("driver request with input " + std::to_string(h.inputLength) + " and capacity " +
                    std::to_string(h.outputCapacity) + " bytes refused");
            reply.windowsError = DW::kErrorInvalidParameter;
            keep = false;
        } else {
            std::vector<uint8_t> input(h.inputLength);
            if (!readFull(c.fd, input.data(), input.size(), stop)) return;
            if (h.code == DW::kNegotiateFastChannel) {
                Vdapi::DriverSlot slot;
                if (!grantSlot(c, input, slot)) return;
                if (slot.Valid()) {
                    serveSlot(c, slot);
                    return;
                }
                continue;
            }
            bool stopping = false;
            reply = answerDriver(c, h.code, input, h.outputCapacity, stopping);
            if (stopping) return;
        }
        // Header and output leave in one write.
        uint8_t rh[DW::kReplyHeaderSize];
        DW::encode(DW::ReplyHeader{reply.windowsError, uint32_t(reply.output.size())}, rh);
        reply.output.insert(reply.output.begin(), rh, rh + sizeof rh);
        if (!writeFull(c.fd, reply.output.data(), reply.output.size(), stop)) return;
        if (!keep) return;
    }
}

void Simulator::serveService(Connection& c)
{
    // A client's next request follows its last answer within microseconds (a device's
    // properties are read one after the other).
    constexpr int kServiceSpinMicros = 30;
    const int stop = stopRead_.get();
    for (;;) {
        uint8_t hdr[SP::kLongHeaderSize];
        if (!readFull(c.fd, hdr, SP::kShortHeaderSize, stop, -1, kServiceSpinMicros)) return;
        uint32_t length = SP::shortHeaderLength(hdr);
        if (SP::isLongHeader(hdr)) {
            if (!readFull(c.fd, hdr + 2, SP::kLongHeaderSize - 2, stop)) return;
            length = SP::longHeaderLength(hdr);
        }
        if (length > SP::kMaxMessage) {
            logLine("service message of " + std::to_string(length) + " bytes refused; closing the pipe");
            return;
        }
        std::vector<uint8_t> request(length);
        if (!readFull(c.fd, request.data(), request.size(), stop)) return;
        int32_t command = request.size() >= 4 ? Vdapi::Wire::getI32(request.data()) : INT32_MIN;
        FaultDecision fault = state_.beginRequest(request.size() >= 4 ? serviceKind(command) : "svc:short");
        if (fault.delayMs > 0 && waitStop(fault.delayMs)) return;
        ServiceAnswer answer;
        if (fault.failWith) {
            const SP::CommandSizes* sizes = SP::findCommand(command);
            answer.reply = serviceResultReply(*fault.failWith, sizes && sizes->reply ? sizes->reply : 8);
            answer.hasReply = !sizes || sizes->reply != 0;
        } else {
            answer = answerServiceRequest(state_, request, c.id);
            if (answer.refreshList) {
                std::lock_guard<std::mutex> lk(svcMutex_);
                publishList();
            }
            if (const int fill = state_.openFill(); fill >= 0 && answer.hasReply)
                fillOpenServiceBytes(command, answer.reply, uint8_t(fill));
            if (fault.corrupt && answer.hasReply && answer.reply.size() >= 4)
                answer.reply.resize(answer.reply.size() - 4);
        }
        if (!answer.hasReply) continue;
        // Header and reply leave in one write.
        uint8_t rh[SP::kLongHeaderSize];
        size_t rhSize = SP::encodeFrameHeader(uint32_t(answer.reply.size()), rh);
        answer.reply.insert(answer.reply.begin(), rh, rh + rhSize);
        if (!writeFull(c.fd, answer.reply.data(), answer.reply.size(), stop)) return;
    }
}

void Simulator::serveControl(Connection& c)
{
    constexpr size_t kMaxLine = 4096;
    std::string pending;
    char buf[512];
    for (;;) {
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::string reply = control(line) + "\n";
            if (!writeFull(c.fd, reply.data(), reply.size(), stopRead_.get())) return;
        }
        if (pending.size() > kMaxLine) {
            const std::string reply = "error: line too long\n";
            writeFull(c.fd, reply.data(), reply.size(), stopRead_.get());
            return;
        }
        long got = readSome(c.fd, buf, sizeof buf, stopRead_.get());
        if (got <= 0) return;
        pending.append(buf, size_t(got));
    }
}

bool Simulator::publishList() // caller holds svcMutex_
{
    std::vector<SP::VdeListEntry> entries;
    {
        auto lk = state_.lock();
        const auto& devs = state_.rig().service.devices;
        for (size_t i = 0; i < devs.size(); ++i)
            if (state_.servicePlugged(i)) entries.push_back(devs[i].entry);
    }
    return list_.publish(entries, listVersion_, listCount_.value_or(int32_t(entries.size())), state_.openFill());
}

// ---- Control commands ----

std::string Simulator::controlHold(const std::vector<std::string>& a, bool hold)
{
    int64_t serial, port;
    if (a.size() < 3 || a.size() > 4 || !parseInt(a[1], 1, INT64_MAX, serial) || !parseInt(a[2], 1, 64, port))
        return "error: usage: " + a[0] + " SERIAL PORT [all|dma|rx|tx|demod|mod|nw]";
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

std::string Simulator::holdEthernetPort(const std::vector<std::string>& a, int64_t serial, int32_t port, bool hold)
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

std::string Simulator::controlPlug(const std::vector<std::string>& a, bool plug)
{
    int64_t serial;
    if (a.size() != 2 || !parseInt(a[1], 1, INT64_MAX, serial)) return "error: usage: " + a[0] + " SERIAL";
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
            retire([d](Kind k, const Endpoint& ep) { return k == Kind::Driver && ep.device == d; });
            return "ok unplugged";
        }
        std::string error;
        for (const auto& ep : endpointsOf(d))
            if (!addListener(pathOf(ep), Kind::Driver, ep, error)) return "error: " + error;
        return "ok plugged";
    }
    std::lock_guard<std::mutex> lk(svcMutex_);
    {
        auto slk = state_.lock();
        const auto& devs = state_.rig().service.devices;
        size_t i = 0;
        while (i < devs.size() && devs[i].entry.serial != serial) ++i;
        if (i == devs.size()) return "error: no device with serial " + a[1];
        state_.setServicePlugged(i, plug);
    }
    return publishList() ? std::string(plug ? "ok plugged" : "ok unplugged") : "error: cannot publish the list";
}

std::string Simulator::controlService(const std::vector<std::string>& a)
{
    if (a.size() >= 2 && a[1] == "version") {
        Version v;
        if (a.size() != 3 || !parseVersion(a[2], v)) return "error: usage: service version A.B.C[.D]";
        auto lk = state_.lock();
        state_.rig().service.version = v;
        return "ok service version " + a[2];
    }
    if (a.size() != 2 || (a[1] != "stop" && a[1] != "start")) return "error: usage: service stop|start|version A.B.C[.D]";
    std::lock_guard<std::mutex> lk(svcMutex_);
    if (a[1] == "stop") {
        if (!serviceRunning_) return "ok already stopped";
        serviceRunning_ = false;
        retire([](Kind k, const Endpoint&) { return k == Kind::Service; });
        return "ok service stopped";
    }
    if (serviceRunning_) return "ok already running";
    std::string error;
    if (!addListener(Vdapi::RunDir::pipe(SP::kPipeName), Kind::Service, {}, error)) return "error: " + error;
    serviceRunning_ = true;
    return "ok service started";
}

std::string Simulator::controlList(const std::vector<std::string>& a)
{
    std::lock_guard<std::mutex> lk(svcMutex_);
    int64_t v;
    if (a.size() == 2 && a[1] == "restore") {
        listVersion_ = SP::kListVersion;
        listCount_.reset();
    } else if (a.size() == 3 && a[1] == "version" && parseInt(a[2], 0, UINT32_MAX, v)) {
        listVersion_ = uint32_t(v);
    } else if (a.size() == 3 && a[1] == "count" && parseInt(a[2], INT32_MIN, INT32_MAX, v)) {
        listCount_ = int32_t(v);
    } else {
        return "error: usage: list version N | list count N | list restore";
    }
    return publishList() ? "ok list published" : "error: cannot publish the list";
}

std::string Simulator::controlFastPath(const std::vector<std::string>& a)
{
    if (a.size() != 2 || (a[1] != "on" && a[1] != "off")) return "error: usage: fastpath on|off";
    slotsAllowed_.store(a[1] == "on");
    return "ok shared-memory slots " + std::string(a[1] == "on" ? "granted" : "refused") + " from now on";
}

std::string Simulator::controlBatches(const std::vector<std::string>& a)
{
    if (a.size() != 2 || (a[1] != "on" && a[1] != "off")) return "error: usage: batches on|off";
    batchesTaken_.store(a[1] == "on");
    return "ok request batches " + std::string(a[1] == "on" ? "answered" : "refused as unknown") + " from now on";
}

std::string Simulator::controlFillOpen(const std::vector<std::string>& a)
{
    long byte = -1;
    if (a.size() == 2 && a[1] != "off") {
        char* end = nullptr;
        byte = std::strtol(a[1].c_str(), &end, 16);
        if (a[1].size() != 2 || *end != 0 || byte < 0 || byte > 255) byte = -2;
    }
    if (a.size() != 2 || byte == -2) return "error: usage: fill-open HEX|off (HEX: one byte, e.g. a5)";
    state_.setOpenFill(int(byte));
    {
        std::lock_guard<std::mutex> lk(svcMutex_);
        publishList();
    }
    return byte < 0 ? "ok open reply bytes are zero from now on"
                    : "ok open reply bytes are 0x" + a[1] + " from now on";
}

std::string Simulator::controlVde(const std::vector<std::string>& a)
{
    if (a.size() >= 2 && a[1] == "opmode") {
        int64_t serial, mode;
        if (a.size() != 4 || !parseInt(a[2], 1, INT64_MAX, serial) || !parseInt(a[3], INT32_MIN, INT32_MAX, mode))
            return "error: usage: vde opmode SERIAL N";
        std::lock_guard<std::mutex> lk(svcMutex_);
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
        return publishList() ? "ok operating mode " + a[3] : "error: cannot publish the list";
    }
    return ethernet_.control(a);
}

std::string Simulator::control(const std::string& line)
{
    const std::vector<std::string> a = splitWords(line);
    if (a.empty()) return "error: empty command";
    const std::string& cmd = a[0];
    int64_t n, m;
    if (cmd == "ping") return "ok vdsim " + std::to_string(::getpid());
    if (!isControlCommand(cmd)) return "error: unknown command \"" + cmd + "\" (try help)";
    if (cmd == "help") return "ok " + controlHelpLine();
    if (cmd == "hold" || cmd == "release") return controlHold(a, cmd == "hold");
    if (cmd == "plug" || cmd == "unplug") return controlPlug(a, cmd == "plug");
    if (cmd == "service") return controlService(a);
    if (cmd == "list") return controlList(a);
    if (cmd == "fastpath") return controlFastPath(a);
    if (cmd == "batches") return controlBatches(a);
    if (cmd == "fill-open") return controlFillOpen(a);
    if (cmd == "vde") return controlVde(a);
    if (cmd == "devices") {
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
    if (cmd == "holds") {
        if (a.size() != 2 || !parseInt(a[1], 1, INT64_MAX, n)) return "error: usage: holds SERIAL";
        auto lk = state_.lock();
        const auto& devs = state_.rig().devices;
        for (size_t d = 0; d < devs.size(); ++d)
            if (devs[d].serial == n) return "ok " + std::to_string(state_.holdCount(d));
        for (const auto& sd : state_.rig().service.devices)
            if (sd.entry.serial == n) return "ok " + std::to_string(state_.ethernetHoldCount(n));
        return "error: no card or Ethernet device with serial " + a[1];
    }
    if (cmd == "linkspeed") {
        int64_t code;
        if (a.size() != 4 || !parseInt(a[1], 1, INT64_MAX, n) || !parseInt(a[2], 1, 64, m) ||
            !parseInt(a[3], INT32_MIN, INT32_MAX, code))
            return "error: usage: linkspeed SERIAL PORT CODE";
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
    if (cmd == "fail") {
        std::string kind = a.size() == 4 ? parseKind(a[1]) : "";
        if (kind.empty() || !parseInt(a[2], 0, 1000000, n) || !parseInt(a[3], 0, UINT32_MAX, m))
            return "error: usage: fail KIND COUNT ERROR (KIND: request code or svc:N)";
        state_.failNext(kind, int(n), uint32_t(m));
        return "ok " + kind + " fails " + a[2] + " times";
    }
    if (cmd == "corrupt") {
        std::string kind = a.size() == 3 ? parseKind(a[1]) : "";
        if (kind.empty() || !parseInt(a[2], 0, 1000000, n)) return "error: usage: corrupt KIND COUNT";
        state_.corruptNext(kind, int(n));
        return "ok " + kind + " corrupted " + a[2] + " times";
    }
    if (cmd == "delay") {
        std::string kind = a.size() == 3 ? parseKind(a[2]) : "";
        if (a.size() < 2 || a.size() > 3 || !parseInt(a[1], 0, 600000, n) || (a.size() == 3 && kind.empty()))
            return "error: usage: delay MS [KIND]";
        state_.setDelay(kind, int(n));
        return "ok delay " + a[1] + " ms" + (kind.empty() ? "" : " for " + kind);
    }
    if (cmd == "counters") {
        if (a.size() == 2 && a[1] == "reset") {
            state_.resetCounters();
            return "ok counters reset";
        }
        if (a.size() != 1) return "error: usage: counters [reset]";
        std::string out = "ok";
        for (const auto& [k, v] : state_.counters()) out += " " + k + "=" + std::to_string(v);
        return out;
    }
    return "error: command \"" + cmd + "\" is listed but not served";
}

} // namespace vdsim
