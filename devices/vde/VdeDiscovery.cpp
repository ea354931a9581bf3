// WS-Discovery probe and probe-match handling through the SOAP toolkit over UDP.
#include "devices/vde/VdeDiscovery.h"

#include "devices/platform/Xp.h"
#include "devices/vde/soap/SoapContext.h"
#include "devices/vde/soap/SoapNamespaces.h"

#include <soapH.h>
#include <wsaapi.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace Vdapi::VdeDiscovery {

namespace {

/// Entries of one ProbeMatches message, at most room in all.
void AppendMatches(const wsd__ProbeMatchesType* matches, size_t room, std::vector<ServiceProtocol::VdeListEntry>& out)
{
    if (!matches || matches->ProbeMatch == nullptr || matches->__sizeProbeMatch <= 0)
        return;
    for (int i = 0; i < matches->__sizeProbeMatch && out.size() < room; ++i) {
        const wsd__ProbeMatchType& match = matches->ProbeMatch[i];
        ServiceProtocol::VdeListEntry entry;
        ParseXAddrs(match.XAddrs, entry.ipAddress, entry.port);
        if (const Vdapi__VdeDeviceInfoShort* info = match.Vdapi__DeviceInfoShort) {
            entry.serial = info->Serial;
            entry.typeNumber = info->TypeNumber;
            entry.firmwareVersion = info->FirmwareVersion;
            entry.firmwareVariant = info->FirmwareVariant;
            entry.opMode = info->OpMode;
            for (int b = 0; b < 6; ++b)
                entry.macAddress[size_t(b)] = uint8_t(uint64_t(info->Mac) >> (8 * (5 - b)));
        }
        out.push_back(entry);
    }
}

} // namespace

std::string MessageId(uint32_t seconds, uint32_t tickMs, uint32_t probeCounter)
{
    char text[32];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x%02x", seconds, tickMs & 0xFFFFu, (tickMs >> 16) & 0xFFFFu,
                  probeCounter & 0xFFu);
    return text;
}

bool ParseXAddrs(const char* text, std::array<uint8_t, 4>& address, int32_t& port)
{
    address = {};
    port = 0;
    if (!text)
        return false;
    unsigned a = 0, b = 0, c = 0, d = 0, p = 0;
    if (std::sscanf(text, "http://%u.%u.%u.%u:%u", &a, &b, &c, &d, &p) != 5)
        return false;
    if (a > 255 || b > 255 || c > 255 || d > 255 || p > 65535)
        return false;
    address = {uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)};
    port = int32_t(p);
    return true;
}

int ParseProbeMatches(const uint8_t* data, size_t size, size_t room, std::vector<ServiceProtocol::VdeListEntry>& out)
{
    SoapContext context(SOAP_IO_DEFAULT, VdeSoap::kDiscoveryNamespaces);
    struct soap* s = context.Get();
    if (!s)
        return SOAP_EOM;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    s->is = &in;
    struct __wsd__ProbeMatches message;
    soap_default___wsd__ProbeMatches(s, &message);
    const int rc = soap_recv___wsd__ProbeMatches(s, &message);
    if (rc == SOAP_OK)
        AppendMatches(message.wsd__ProbeMatches, room, out);
    s->is = nullptr;
    return rc;
}

VdResult RunPass(const uint8_t (&adapterIpv4)[4], uint32_t probeCounter, size_t room,
                 std::vector<ServiceProtocol::VdeListEntry>& found)
{
    // The socket stays open between the probe and the receives: the matches come back to it.
    SoapContext context(SOAP_IO_UDP | SOAP_IO_KEEPALIVE, VdeSoap::kDiscoveryNamespaces);
    struct soap* s = context.Get();
    if (!s)
        return VDAPI_E_OUT_OF_MEM;
    s->connect_timeout = kReceiveLimitSeconds;
    s->send_timeout = kReceiveLimitSeconds;
    s->recv_timeout = kReceiveLimitSeconds;
    // The toolkit sets the outgoing multicast interface on every socket it opens for this
    // context right after creating it, and binds the socket to the adapter's address.
    // The toolkit reads the interface as the 4 bytes of an IPv4 address in network order.
    alignas(4) char multicastIf[4];
    std::memcpy(multicastIf, adapterIpv4, 4);
    s->ipv4_multicast_if = multicastIf;
    char bindAddress[16];
    std::snprintf(bindAddress, sizeof bindAddress, "%u.%u.%u.%u", adapterIpv4[0], adapterIpv4[1], adapterIpv4[2],
                  adapterIpv4[3]);
    s->client_addr = bindAddress;

    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto tick = std::chrono::steady_clock::now().time_since_epoch();
    const std::string messageId =
        MessageId(uint32_t(std::chrono::duration_cast<std::chrono::seconds>(now).count()),
                  uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(tick).count()), probeCounter);

    if (soap_register_plugin(s, soap_wsa) != SOAP_OK ||
        soap_wsa_request(s, messageId.c_str(), VdeSoap::kDiscoveryUrn, VdeSoap::kProbeAction) != SOAP_OK ||
        soap_wsa_add_ReplyTo(s, VdeSoap::kAnonymousAddress) != SOAP_OK)
        return VDAPI_E_OUT_OF_MEM;

    wsd__ProbeType probe;
    soap_default_wsd__ProbeType(s, &probe);
    probe.Types = const_cast<char*>(VdeSoap::kProbeTypes);
    if (soap_send___wsd__Probe(s, VdeSoap::kDiscoveryEndpoint, nullptr, &probe) != SOAP_OK) {
        VDAPI_LOG(Warning, "discovery probe via %s not sent (SOAP error %d)", bindAddress, s->error);
        return VDAPI_E_COMMUNICATION;
    }

    using Clock = std::chrono::steady_clock;
    auto quietUntil = Clock::now() + std::chrono::seconds(kReceiveLimitSeconds);
    const size_t limit = found.size() + room;
    bool timedOut = false;
    size_t before = found.size();
    while (found.size() < limit) {
        struct __wsd__ProbeMatches message;
        soap_default___wsd__ProbeMatches(s, &message);
        const int rc = soap_recv___wsd__ProbeMatches(s, &message);
        const size_t had = found.size();
        if (rc == SOAP_OK)
            AppendMatches(message.wsd__ProbeMatches, limit, found);
        if (found.size() > had) {
            quietUntil = Clock::now() + std::chrono::seconds(kReceiveLimitSeconds);
        } else if (rc == SOAP_EOF && s->errnum == 0) {
            timedOut = true;
            break;
        } else if (Clock::now() >= quietUntil) {
            break; // nothing usable for a whole receive limit, only failures or empty answers
        }
        context.FreeMessages();
        s->header = nullptr; // freed with the message
    }
    if (found.size() > before || timedOut || found.size() >= limit)
        return VDAPI_OK;
    VDAPI_LOG(Warning, "discovery via %s ended by a receive error (SOAP error %d)", bindAddress, s->error);
    return VDAPI_E_COMMUNICATION;
}

} // namespace Vdapi::VdeDiscovery
