// Device-service command answers: version, property look-ups, list names, refresh, the
// arbitration of the Ethernet devices' ports (commands 4, 5, 6) and the other channel-layer
// commands accepted with their sizes.
#include "sim/ServiceHandler.h"

#include "devices/VdapiResult.h"

#include <cstring>

namespace vdsim {
namespace {

namespace SP = Vdapi::ServiceProtocol;
using Vdapi::Wire::getI32;
using Vdapi::Wire::getU32;
using Vdapi::Wire::putU32;

constexpr uint32_t kResultNotFound = Vdapi::VDAPI_E_NOT_FOUND;
constexpr uint32_t kResultNotSupported = Vdapi::VDAPI_E_NOT_SUPPORTED;
constexpr uint32_t kResultInvalidArg = Vdapi::VDAPI_E_INVALID_ARG;
constexpr uint32_t kResultNoSuchPort = Vdapi::VDAPI_E_NO_SUCH_PORT;

/// The Ethernet device a property look-up means: first of the type with that firmware
/// version, else first of the type. Null when the rig has none.
const ServiceDevice* deviceFor(const ServiceSpec& svc, int32_t type, int32_t firmware)
{
    const ServiceDevice* anyOfType = nullptr;
    for (const auto& d : svc.devices) {
        if (d.entry.typeNumber != type) continue;
        if (d.entry.firmwareVersion == firmware) return &d;
        if (!anyOfType) anyOfType = &d;
    }
    return anyOfType;
}

std::vector<uint8_t> numericProperty(SimState& state, const std::vector<uint8_t>& req)
{
    std::vector<uint8_t> out = serviceResultReply(0, 24);
    if (!std::memchr(req.data() + SP::kPropName, 0, SP::kPropNameField)) return serviceResultReply(kResultInvalidArg, 24);
    std::string name = Vdapi::Wire::getName(req.data() + SP::kPropName, SP::kPropNameField);
    int32_t type = getI32(req.data() + SP::kPropTypeNumber);
    int32_t firmware = getI32(req.data() + SP::kPropField60);
    int32_t port = int32_t(getU32(req.data() + SP::kPropPortPlusOne)) - 1;
    std::map<std::string, int64_t> props;
    std::vector<PortSpec> ports;
    {
        auto lk = state.lock();
        if (const ServiceDevice* d = deviceFor(state.rig().service, type, firmware)) {
            props = d->deviceProperties;
            ports = d->ports;
        } else if (!catalogTypeSpec(type, props, ports)) {
            return serviceResultReply(kResultNotFound, 24);
        }
    }
    if (port < -1 || port >= int32_t(ports.size())) return serviceResultReply(kResultNoSuchPort, 24);
    auto v = name.empty() ? std::nullopt : lookupProperty(props, ports, port, name);
    if (!v) return serviceResultReply(kResultNotFound, 24);
    Vdapi::Wire::putI64(out.data() + SP::kNumericValue, *v);
    return out;
}

std::vector<uint8_t> stringProperty(SimState& state, const std::vector<uint8_t>& req)
{
    if (!std::memchr(req.data() + SP::kPropName, 0, SP::kPropNameField)) return serviceResultReply(kResultInvalidArg, 108);
    std::string name = Vdapi::Wire::getName(req.data() + SP::kPropName, SP::kPropNameField);
    int32_t type = getI32(req.data() + SP::kPropTypeNumber);
    int32_t port = int32_t(getU32(req.data() + SP::kPropPortPlusOne)) - 1;
    std::string text;
    {
        auto lk = state.lock();
        const ServiceDevice* d = deviceFor(state.rig().service, type, INT32_MIN);
        if (!d || port != -1) return serviceResultReply(kResultNotFound, 108);
        auto it = d->strings.find(name);
        if (it == d->strings.end()) return serviceResultReply(kResultNotFound, 108);
        text = it->second;
    }
    std::vector<uint8_t> out = serviceResultReply(0, 108);
    putU32(out.data() + SP::kStringLength, uint32_t(text.size()));
    Vdapi::Wire::putName(out.data() + SP::kStringText, SP::kStringTextField, text);
    return out;
}

// Fields of the port commands 4, 5 and 6.
constexpr size_t kPortIpv4 = 4, kPortSerial = 8, kPortPlusOne = 16, kPortHandle = 20, kPortAccessMode = 24;
constexpr size_t kPortReplyHandle = 8;

/// 0 when the rig's service has a device `serial` (at `ipv4` when given, and plugged in)
/// with port `portPlusOne`; else VDAPI_E_NO_SUCH_DEVICE or VDAPI_E_NO_SUCH_PORT. An attach
/// gives the address; a detach or access change on an unplugged device still reaches the
/// handle it holds. Caller holds the lock.
uint32_t checkEthernetPort(SimState& state, int64_t serial, int32_t portPlusOne, const uint8_t* ipv4)
{
    const auto& devices = state.rig().service.devices;
    for (size_t i = 0; i < devices.size(); ++i) {
        const ServiceDevice& d = devices[i];
        if (d.entry.serial != serial) continue;
        if (ipv4 && (std::memcmp(ipv4, d.entry.ipAddress.data(), 4) != 0 || !state.servicePlugged(i)))
            return Vdapi::VDAPI_E_NO_SUCH_DEVICE;
        if (portPlusOne < 1 || size_t(portPlusOne) > d.ports.size()) return kResultNoSuchPort;
        return 0;
    }
    return Vdapi::VDAPI_E_NO_SUCH_DEVICE;
}

std::vector<uint8_t> ethernetPortCommand(SimState& state, int32_t command, const std::vector<uint8_t>& req,
                                         uint64_t connection)
{
    const SP::CommandSizes* sizes = SP::findCommand(command);
    const int64_t serial = Vdapi::Wire::getI64(req.data() + kPortSerial);
    const int32_t portPlusOne = getI32(req.data() + kPortPlusOne);
    auto lk = state.lock();
    const uint8_t* ipv4 = command == SP::kCmdDemodAttach ? req.data() + kPortIpv4 : nullptr;
    if (const uint32_t err = checkEthernetPort(state, serial, portPlusOne, ipv4))
        return serviceResultReply(err, sizes->reply);
    std::vector<uint8_t> out = serviceResultReply(0, sizes->reply);
    if (command == SP::kCmdDemodAttach) {
        const uint32_t handle = state.openEthernetPort(connection, serial, portPlusOne);
        if (handle == 0) return serviceResultReply(Vdapi::VDAPI_E_OUT_OF_RESOURCES, sizes->reply);
        putU32(out.data() + kPortReplyHandle, handle);
        return out;
    }
    const uint32_t handle = getU32(req.data() + kPortHandle);
    const uint32_t result = command == SP::kCmdDemodDetach
                                ? state.closeEthernetPort(connection, serial, portPlusOne, handle)
                                : state.ethernetPortAccess(connection, serial, portPlusOne, handle,
                                                           getU32(req.data() + kPortAccessMode));
    putU32(out.data() + SP::kReplyResult, result);
    return out;
}

} // namespace

std::vector<uint8_t> serviceResultReply(uint32_t result, size_t size)
{
    std::vector<uint8_t> out(size < 8 ? 8 : size, 0);
    putU32(out.data() + SP::kReplyResult, result);
    return out;
}

void fillOpenServiceBytes(int32_t command, std::vector<uint8_t>& reply, uint8_t fill)
{
    for (size_t i = 0; i < SP::kReplyResult && i < reply.size(); ++i) reply[i] = fill;
    if (command == SP::kCmdNumericProperty)
        for (size_t i = SP::kNumericExtra1; i < SP::kNumericExtra2 + 4 && i < reply.size(); ++i) reply[i] = fill;
}

ServiceAnswer answerServiceRequest(SimState& state, const std::vector<uint8_t>& req, uint64_t connection)
{
    ServiceAnswer a;
    if (req.size() < 4) {
        a.reply = serviceResultReply(kResultInvalidArg);
        return a;
    }
    int32_t command = getI32(req.data());
    const SP::CommandSizes* sizes = SP::findCommand(command);
    if (!sizes) {
        a.reply = serviceResultReply(kResultNotSupported);
        return a;
    }
    if (req.size() != sizes->request) {
        a.reply = serviceResultReply(kResultInvalidArg);
        return a;
    }
    switch (command) {
    case SP::kCmdGoodbye: a.hasReply = false; return a;
    case SP::kCmdVersion: {
        a.reply = serviceResultReply(0, sizes->reply);
        auto lk = state.lock();
        const Version& v = state.rig().service.version;
        putU32(a.reply.data() + SP::kVersionMajor, uint32_t(v.major));
        putU32(a.reply.data() + SP::kVersionMinor, uint32_t(v.minor));
        putU32(a.reply.data() + SP::kVersionBugfix, uint32_t(v.bugfix));
        putU32(a.reply.data() + SP::kVersionBuild, uint32_t(v.build));
        return a;
    }
    case SP::kCmdNumericProperty: a.reply = numericProperty(state, req); return a;
    case SP::kCmdStringProperty: a.reply = stringProperty(state, req); return a;
    case SP::kCmdListNames: {
        a.reply = serviceResultReply(0, sizes->reply);
        auto lk = state.lock();
        Vdapi::Wire::putUtf16Name(a.reply.data() + SP::kMutexName, SP::kListNameUnits, state.rig().service.mutexName);
        Vdapi::Wire::putUtf16Name(a.reply.data() + SP::kSharedMemName, SP::kListNameUnits, state.rig().service.listName);
        return a;
    }
    case SP::kCmdRefreshList:
        a.reply = serviceResultReply(0, sizes->reply);
        a.refreshList = true;
        return a;
    case SP::kCmdEventPipe:
        if (!std::memchr(req.data() + SP::kEventPipeName, 0, 64)) {
            a.reply = serviceResultReply(kResultInvalidArg, sizes->reply);
            return a;
        }
        a.reply = serviceResultReply(0, sizes->reply);
        return a;
    case SP::kCmdDemodAccessMode:
        if (getU32(req.data() + kPortAccessMode) > 2) {
            a.reply = serviceResultReply(kResultNotSupported, sizes->reply);
            return a;
        }
        a.reply = ethernetPortCommand(state, command, req, connection);
        return a;
    case SP::kCmdDemodAttach:
    case SP::kCmdDemodDetach: a.reply = ethernetPortCommand(state, command, req, connection); return a;
    default: // channel-layer commands: accepted, nothing to report (command 9: no data)
        a.reply = serviceResultReply(0, sizes->reply);
        return a;
    }
}

} // namespace vdsim
