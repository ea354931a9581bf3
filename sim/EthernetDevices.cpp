// Simulated Ethernet-attached devices: discovery responder and remote-call server per device.
#include "sim/EthernetDevices.h"

#include "devices/VdapiResult.h"
#include "devices/vde/soap/SoapContext.h"
#include "devices/vde/soap/SoapNamespaces.h"
#include "sim/ControlCommands.h"

#include <soapH.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace vdsim {

namespace VS = Vdapi::VdeSoap;

namespace {

constexpr size_t kMaxDatagram = 65536;
constexpr int kCallTimeoutSeconds = 5;

std::string ipText(const std::array<uint8_t, 4>& ip)
{
    return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." + std::to_string(ip[3]);
}

/// UDP socket on the discovery port that receives the group only on the interface holding `ip`.
UniqueFd discoverySocket(const std::string& ip, std::string& error)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        error = std::string("socket: ") + std::strerror(errno);
        return {};
    }
    int one = 1, zero = 0;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(fd.get(), IPPROTO_IP, IP_MULTICAST_ALL, &zero, sizeof zero);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(VS::kDiscoveryPort);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = std::string("bind discovery port: ") + std::strerror(errno);
        return {};
    }
    ip_mreq join{};
    ::inet_pton(AF_INET, VS::kDiscoveryGroup, &join.imr_multiaddr);
    ::inet_pton(AF_INET, ip.c_str(), &join.imr_interface);
    if (::setsockopt(fd.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
        error = std::string("join discovery group: ") + std::strerror(errno);
        return {};
    }
    return fd;
}

UniqueFd callSocket(const std::string& ip, std::string& error)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        error = std::string("socket: ") + std::strerror(errno);
        return {};
    }
    int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(VS::kDeviceCallPort);
    ::inet_pton(AF_INET, ip.c_str(), &addr.sin_addr);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 16) != 0) {
        error = std::string("bind ") + ip + ":8000: " + std::strerror(errno);
        return {};
    }
    return fd;
}

/// Writes a reply that is not well-formed XML and tells the toolkit that nothing else is sent.
int sendBrokenAnswer(struct soap* s)
{
    static const char kBroken[] = "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/"
                                  "2003/05/soap-envelope\"><SOAP-ENV:Body><VdDev:Attach";
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml; charset=utf-8\r\nContent-Length: " +
                        std::to_string(sizeof kBroken - 1) + "\r\nConnection: close\r\n\r\n" + kBroken;
    writeFull(s->socket, reply.data(), reply.size(), -1);
    return SOAP_STOP;
}

/// Common start of every operation: the device, its faults and the result code to answer.
/// Returns a toolkit code to end the operation with (SOAP_STOP after a broken answer, or
/// SOAP_EOF when stopping), or SOAP_OK to answer normally.
int beginOperation(struct soap* s, const char* op, uint64_t& result)
{
    auto* call = static_cast<EthernetDevices::DeviceCall*>(s->user);
    if (!call)
        return SOAP_EOF;
    bool stopped = false;
    FaultDecision fault = call->owner->beginCall(*call, op, stopped);
    if (stopped)
        return SOAP_EOF;
    if (fault.corrupt)
        return sendBrokenAnswer(s);
    result = fault.failWith ? *fault.failWith : 0;
    return SOAP_OK;
}

/// The rig's port I/O direction as the device's code: 0 disabled, 1 input, 2 output, 3 double
/// buffered, 7 loop-through; -1 for a port outside the device.
int32_t deviceDirection(const ServiceDevice& d, int32_t port, int32_t& parXtra)
{
    parXtra = 0;
    if (port < 1 || size_t(port) > d.ports.size()) return -1;
    const PortSpec& p = d.ports[size_t(port - 1)];
    auto it = p.io.find("IODIR");
    if (it == p.io.end()) return p.caps.count("INPUT") ? 1 : p.caps.count("OUTPUT") ? 2 : 0;
    const IoSetting& io = it->second;
    if (io.value == "INPUT") return 1;
    if (io.value == "OUTPUT") {
        parXtra = int32_t(io.par1 < 0 ? 0 : io.par1);
        if (io.subValue == "DBLBUF") return 3;
        if (io.subValue == "LOOPTHR") return 7;
        return 2;
    }
    return 0;
}

} // namespace

EthernetDevices::EthernetDevices(SimState& state) : state_(state) {}

EthernetDevices::~EthernetDevices() { stop(); }

void EthernetDevices::start(void (*log)(const std::string&))
{
    if (!makePipe(stopRead_, stopWrite_)) {
        log(std::string("Ethernet devices not served: pipe: ") + std::strerror(errno));
        return;
    }
    std::vector<std::pair<int64_t, std::string>> wanted;
    {
        auto lk = state_.lock();
        for (const auto& d : state_.rig().service.devices) wanted.emplace_back(d.entry.serial, ipText(d.entry.ipAddress));
    }
    for (size_t i = 0; i < wanted.size(); ++i) {
        auto d = std::make_unique<Device>();
        d->index = i;
        d->serial = wanted[i].first;
        d->ip = wanted[i].second;
        std::string error;
        d->tcp = callSocket(d->ip, error);
        if (d->tcp) d->udp = discoverySocket(d->ip, error);
        if (!d->tcp || !d->udp) {
            log("Ethernet device " + std::to_string(d->serial) + " at " + d->ip + " not served: " + error);
            continue;
        }
        log("Ethernet device " + std::to_string(d->serial) + " serves " + d->ip + ":8000 and discovery");
        Device* raw = d.get();
        {
            std::lock_guard<std::mutex> lk(mutex_);
            devices_.push_back(std::move(d));
        }
        raw->thread = std::thread([this, raw] { serve(*raw); });
    }
}

void EthernetDevices::stop()
{
    {
        std::lock_guard<std::mutex> lk(mutex_);
        if (stopping_) return;
        stopping_ = true;
    }
    stopCv_.notify_all();
    if (stopWrite_) {
        char one = 1;
        (void)!::write(stopWrite_.get(), &one, 1);
    }
    // Joined without the lock: a device thread may be waiting on it (delays).
    std::vector<Device*> serving;
    {
        std::lock_guard<std::mutex> lk(mutex_);
        for (auto& d : devices_) serving.push_back(d.get());
    }
    for (Device* d : serving)
        if (d->thread.joinable()) d->thread.join();
    std::lock_guard<std::mutex> lk(mutex_);
    devices_.clear();
}

bool EthernetDevices::waitStop(int ms)
{
    std::unique_lock<std::mutex> lk(mutex_);
    return stopCv_.wait_for(lk, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

FaultDecision EthernetDevices::beginCall(const DeviceCall& call, const char* op, bool& stopped)
{
    FaultDecision fault = state_.beginRequest(std::string("vde:") + op + ":" + std::to_string(call.serial));
    stopped = fault.delayMs > 0 && waitStop(fault.delayMs);
    return fault;
}

void EthernetDevices::serve(Device& d)
{
    for (;;) {
        pollfd fds[3] = {{d.udp.get(), POLLIN, 0}, {d.tcp.get(), POLLIN, 0}, {stopRead_.get(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[2].revents) return;
        if (fds[0].revents & POLLIN) answerProbe(d);
        if (fds[1].revents & POLLIN) {
            UniqueFd accepted(::accept4(d.tcp.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (accepted) serveCall(d, std::move(accepted));
        }
    }
}

void EthernetDevices::answerProbe(Device& d)
{
    std::vector<char> datagram(kMaxDatagram);
    sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    ssize_t got = ::recvfrom(d.udp.get(), datagram.data(), datagram.size(), MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&peer), &peerLen);
    if (got <= 0) return;

    const Vdapi::SoapContext context(SOAP_IO_DEFAULT, VS::kDiscoveryNamespaces);
    struct soap* s = context.Get();
    if (!s) return;
    std::istringstream in(std::string(datagram.data(), size_t(got)));
    s->is = &in;
    struct __wsd__Probe probe;
    soap_default___wsd__Probe(s, &probe);
    const bool parsed = soap_recv___wsd__Probe(s, &probe) == SOAP_OK;
    s->is = nullptr;
    const char* types = parsed && probe.wsd__Probe ? probe.wsd__Probe->Types : nullptr;
    // A probe is a probe by its addressing header: the discovery action sent to the discovery URN.
    const SOAP_ENV__Header* h = parsed ? s->header : nullptr;
    const bool addressed = h && h->wsa__Action && h->wsa__To && std::strcmp(h->wsa__Action, VS::kProbeAction) == 0 &&
                           std::strcmp(h->wsa__To, VS::kDiscoveryUrn) == 0;
    const bool wanted = addressed && (!types || !*types || std::strstr(types, "VDE"));
    std::string messageId = parsed && s->header && s->header->wsa__MessageID ? s->header->wsa__MessageID : "";
    if (wanted) {
        std::lock_guard<std::mutex> lk(mutex_);
        if (probeIds_.size() < kMaxProbeLog) probeIds_.push_back(messageId);
    }
    DeviceCall call{this, d.index, d.serial};
    bool stopped = false;
    FaultDecision fault = wanted ? beginCall(call, "probe", stopped) : FaultDecision{};
    if (!wanted || stopped || fault.failWith) return;

    Vdapi::ServiceProtocol::VdeListEntry entry;
    {
        auto lk = state_.lock();
        const auto& devs = state_.rig().service.devices;
        if (d.index < devs.size()) entry = devs[d.index].entry;
    }
    std::string xaddrs = "http://" + d.ip + ":" + std::to_string(entry.port);
    {
        std::lock_guard<std::mutex> lk(mutex_);
        if (auto it = xaddrs_.find(d.serial); it != xaddrs_.end()) xaddrs = it->second;
    }
    std::string address = "urn:uuid:vde-" + std::to_string(d.serial);
    std::string replyId = "urn:uuid:vde-" + std::to_string(d.serial) + "-" + std::to_string(nextDeviceId());

    soap_begin(s);
    SOAP_ENV__Header header;
    soap_default_SOAP_ENV__Header(s, &header);
    wsa__Relationship relates;
    soap_default_wsa__Relationship(s, &relates);
    relates.__item = const_cast<char*>(messageId.c_str());
    header.wsa__MessageID = const_cast<char*>(replyId.c_str());
    header.wsa__RelatesTo = &relates;
    header.wsa__To = const_cast<char*>(VS::kAnonymousAddress);
    header.wsa__Action = const_cast<char*>(VS::kProbeMatchesAction);
    s->header = &header;

    Vdapi__VdeDeviceInfoShort info;
    soap_default_Vdapi__VdeDeviceInfoShort(s, &info);
    info.Serial = entry.serial;
    info.TypeNumber = entry.typeNumber;
    info.FirmwareVersion = entry.firmwareVersion;
    info.FirmwareVariant = entry.firmwareVariant;
    uint32_t ipWord = 0;
    std::memcpy(&ipWord, entry.ipAddress.data(), 4);
    info.Ip = int(ipWord);
    int64_t mac = 0;
    for (uint8_t b : entry.macAddress) mac = (mac << 8) | b;
    info.Mac = mac;
    info.OpMode = entry.opMode;
    info.Port = entry.port;

    wsd__ProbeMatchType match;
    soap_default_wsd__ProbeMatchType(s, &match);
    match.wsa__EndpointReference.Address = const_cast<char*>(address.c_str());
    match.Types = const_cast<char*>(VS::kProbeTypes);
    match.XAddrs = const_cast<char*>(xaddrs.c_str());
    match.MetadataVersion = 1;
    match.Vdapi__DeviceInfoShort = &info;
    wsd__ProbeMatchesType matches;
    soap_default_wsd__ProbeMatchesType(s, &matches);
    matches.__sizeProbeMatch = 1;
    matches.ProbeMatch = &match;
    struct __wsd__ProbeMatches body;
    body.wsd__ProbeMatches = &matches;

    std::ostringstream out;
    s->os = &out;
    soap_set_version(s, 2);
    s->encodingStyle = nullptr;
    soap_serializeheader(s);
    soap_serialize___wsd__ProbeMatches(s, &body);
    const bool written = soap_begin_send(s) == SOAP_OK && soap_envelope_begin_out(s) == SOAP_OK &&
                         soap_putheader(s) == SOAP_OK && soap_body_begin_out(s) == SOAP_OK &&
                         soap_put___wsd__ProbeMatches(s, &body, "-wsd:ProbeMatches", "") == SOAP_OK &&
                         soap_body_end_out(s) == SOAP_OK && soap_envelope_end_out(s) == SOAP_OK &&
                         soap_end_send(s) == SOAP_OK;
    s->os = nullptr;
    s->header = nullptr;
    if (!written) return;
    std::string reply = out.str();
    if (fault.corrupt) reply.resize(reply.size() / 2); // cut inside the body: not well-formed
    ::sendto(d.udp.get(), reply.data(), reply.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&peer), peerLen);
}

void EthernetDevices::serveCall(Device& d, UniqueFd connection)
{
    const Vdapi::SoapContext context(SOAP_IO_DEFAULT, VS::kDeviceCallNamespaces);
    struct soap* s = context.Get();
    if (!s) return;
    s->recv_timeout = kCallTimeoutSeconds;
    s->send_timeout = kCallTimeoutSeconds;
    DeviceCall call{this, d.index, d.serial};
    s->user = &call;
    s->socket = connection.release(); // the context closes it
    soap_serve(s);
    soap_force_closesock(s);
}

std::string EthernetDevices::control(const std::vector<std::string>& a)
{
    std::lock_guard<std::mutex> lk(mutex_);
    if (a.size() == 2 && a[1] == "probes") {
        std::string out = "ok " + std::to_string(probeIds_.size());
        for (const auto& id : probeIds_) out += " " + (id.empty() ? std::string("-") : id);
        return out;
    }
    if (a.size() == 3 && a[1] == "probes" && a[2] == "reset") {
        probeIds_.clear();
        return "ok probes reset";
    }
    if (a.size() == 2 && a[1] == "bound") {
        std::string out = "ok " + std::to_string(devices_.size());
        for (const auto& d : devices_) out += " " + std::to_string(d->serial);
        return out;
    }
    if (a.size() == 4 && a[1] == "xaddrs") {
        char* end = nullptr;
        errno = 0;
        long long serial = std::strtoll(a[2].c_str(), &end, 10);
        if (errno || !end || *end) return usageRefusal(a[0], a[1]);
        if (a[3] == "default") xaddrs_.erase(serial);
        else xaddrs_[serial] = a[3];
        return "ok xaddrs of " + a[2] + " is " + a[3];
    }
    return usageRefusal(a[0]);
}

} // namespace vdsim

// ---- Operations of the device-call service (dispatched by soap_serve) ----

int VdDev__Attach(struct soap* s, struct VdDev__AttachResponse* response)
{
    uint64_t result = 0;
    if (int rc = vdsim::beginOperation(s, "attach", result)) return rc;
    auto* call = static_cast<vdsim::EthernetDevices::DeviceCall*>(s->user);
    response->VdapiResult = result;
    response->DeviceId = result == 0 ? call->owner->nextDeviceId() : 0;
    return SOAP_OK;
}

int VdDev__GetDescriptor(struct soap* s, struct VdDev__GetDescriptorResponse* response)
{
    uint64_t result = 0;
    if (int rc = vdsim::beginOperation(s, "getdescriptor", result)) return rc;
    auto* call = static_cast<vdsim::EthernetDevices::DeviceCall*>(s->user);
    Vdapi::ServiceProtocol::VdeListEntry entry;
    {
        auto lk = call->owner->state().lock();
        const auto& devs = call->owner->state().rig().service.devices;
        if (call->index < devs.size()) entry = devs[call->index].entry;
    }
    response->VdapiResult = result;
    Vdapi__VdeDeviceInfo& info = response->VdeDeviceInfo;
    soap_default_Vdapi__VdeDeviceInfo(s, &info);
    info.m_Serial = entry.serial;
    info.m_TypeNumber = entry.typeNumber;
    info.m_FirmwareVersion = entry.firmwareVersion;
    info.m_FirmwareVariant = entry.firmwareVariant;
    info.m_OpMode = entry.opMode;
    info.m_Port = entry.port;
    info.__sizeIp = 4;
    info.m_Ip = static_cast<unsigned char*>(soap_malloc(s, 4));
    info.__sizeMac = 6;
    info.m_Mac = static_cast<unsigned char*>(soap_malloc(s, 6));
    if (!info.m_Ip || !info.m_Mac) return SOAP_EOM;
    std::memcpy(info.m_Ip, entry.ipAddress.data(), 4);
    std::memcpy(info.m_Mac, entry.macAddress.data(), 6);
    return SOAP_OK;
}

int VdDev__Detach(struct soap* s, unsigned int, struct VdDev__DetachResponse* response)
{
    uint64_t result = 0;
    if (int rc = vdsim::beginOperation(s, "detach", result)) return rc;
    response->VdapiResult = result;
    return SOAP_OK;
}

int VdDev__GetIoConfig(struct soap* s, unsigned int, int port, struct VdDev__GetIoConfigResponse* response)
{
    uint64_t result = 0;
    if (int rc = vdsim::beginOperation(s, "getioconfig", result)) return rc;
    auto* call = static_cast<vdsim::EthernetDevices::DeviceCall*>(s->user);
    int32_t parXtra = 0, direction = -1;
    {
        auto lk = call->owner->state().lock();
        const auto& devs = call->owner->state().rig().service.devices;
        if (call->index < devs.size()) direction = vdsim::deviceDirection(devs[call->index], port, parXtra);
    }
    response->VdapiResult = result != 0 ? result : direction < 0 ? uint64_t(Vdapi::VDAPI_E_NO_SUCH_PORT) : 0;
    response->IoConfig = direction < 0 ? 0 : direction;
    response->ParXtra = parXtra;
    return SOAP_OK;
}

// Discovery messages are not served over HTTP.
int __wsd__Probe(struct soap*, struct wsd__ProbeType*) { return SOAP_NO_METHOD; }
int __wsd__ProbeMatches(struct soap*, struct wsd__ProbeMatchesType*) { return SOAP_NO_METHOD; }
// A fault sent to a device as a message of its own is accepted and ignored.
int SOAP_ENV__Fault(struct soap* s, char*, char*, char*, struct SOAP_ENV__Detail*, struct SOAP_ENV__Code*,
                    struct SOAP_ENV__Reason*, char*, char*, struct SOAP_ENV__Detail*)
{
    return soap_send_empty_response(s, SOAP_OK);
}
