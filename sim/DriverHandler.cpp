// Kernel-driver request answers: versions, information records, property look-ups, I/O
// configuration, function blocks, exclusive access and link speed.
#include "sim/DriverHandler.h"

#include "devices/platform/posix/DriverWire.h"
#include "devices/usb/UsbDriverProtocol.h"
#include "sim/IoCodes.h"

#include <cstring>

namespace vdsim {
namespace {

namespace DP = Vdapi::DriverProtocol;
namespace UP = Vdapi::UsbDriverProtocol;
namespace DW = Vdapi::DriverWire;
using Vdapi::DriverProtocol::BlockId;

DriverReply fail(uint32_t error) { return {error, {}}; }
DriverReply ok(std::vector<uint8_t> out) { return {0, std::move(out)}; }

/// True when a fixed-width name field holds a NUL (so the name is terminated inside it).
bool nameTerminated(const uint8_t* p, size_t width) { return std::memchr(p, 0, width) != nullptr; }

std::vector<uint8_t> valueReply(int64_t value)
{
    std::vector<uint8_t> out(DP::kPropertyReplySize, 0);
    Vdapi::Wire::putI64(out.data() + DP::kPropertyReplyValue, value);
    return out;
}

std::vector<uint8_t> versionReply(const Version& v)
{
    std::vector<uint8_t> out(DP::VersionRecord::kSize);
    DP::VersionRecord{v.major, v.minor, v.bugfix, v.build}.encode(out.data());
    return out;
}

DP::DeviceInfoRecord infoRecord(const DeviceSpec& d)
{
    DP::DeviceInfoRecord r;
    r.typeNumber = d.typeNumber;
    r.subType = d.subType;
    r.serial = d.serial;
    r.hardwareRevision = d.hardwareRevision;
    r.firmwareVersion = d.firmwareVersion;
    r.firmwareVariant = d.firmwareVariant;
    r.firmwareStatus = d.firmwareStatus;
    r.infoBlockWord = d.infoBlockWord;
    r.infoBlockBytes = d.infoBlockBytes;
    r.vendorId = d.vendorId;
    r.deviceId = d.deviceId;
    r.subVendorId = d.subVendorId;
    r.subsystemId = d.subsystemId;
    r.pciBus = d.pciBus;
    r.pciSlot = d.pciSlot;
    r.driverInfo = d.driverInfo;
    return r;
}

/// Property answer for the device's own type (device-level or 0-based port) or another type
/// from the catalog.
DriverReply propertyOf(const DeviceSpec& d, int32_t typeSelector, int32_t port, const std::string& name)
{
    if (name.empty()) return fail(DP::kErrNotFound);
    if (typeSelector != -1 && typeSelector != d.typeNumber) {
        std::map<std::string, int64_t> props;
        std::vector<PortSpec> ports;
        if (!catalogTypeSpec(typeSelector, props, ports)) return fail(DP::kErrNotFound);
        if (port >= int32_t(ports.size()) || port < -1) return fail(DP::kErrNoSuchPort);
        auto v = lookupProperty(props, ports, port, name);
        return v ? ok(valueReply(*v)) : fail(DP::kErrNotFound);
    }
    if (port >= int32_t(d.ports.size()) || port < -1) return fail(DP::kErrNoSuchPort);
    auto v = lookupProperty(d.deviceProperties, d.ports, port, name);
    return v ? ok(valueReply(*v)) : fail(DP::kErrNotFound);
}

/// Fills one name-based I/O-configuration item from the port's settings.
uint32_t ioItem(const std::vector<PortSpec>& ports, DP::IoConfigItem& item)
{
    if (item.port < 0 || size_t(item.port) >= ports.size()) return DP::kErrNoSuchPort;
    const auto& io = ports[size_t(item.port)].io;
    auto it = io.find(item.group);
    if (it == io.end()) return DP::kErrNotFound;
    item.value = it->second.value;
    item.subValue = it->second.subValue;
    item.par1 = it->second.par1;
    item.par2 = it->second.par2;
    return 0;
}

/// Name-based I/O configuration: `in` holds `count` 56-byte records from `recordsAt`; replies
/// `replyHeader` bytes (u32 0, u32 count when 8) followed by 136 bytes per record.
DriverReply ioConfigByNames(const std::vector<PortSpec>& ports, const std::vector<uint8_t>& in, size_t countAt,
                            size_t recordsAt, size_t replyHeader)
{
    if (in.size() < countAt + 4) return fail(DW::kErrorInvalidParameter);
    uint32_t count = Vdapi::Wire::getU32(in.data() + countAt);
    if (count > DP::kMaxIoRecords || in.size() != recordsAt + size_t(count) * DP::kIoRequestRecordSize)
        return fail(DW::kErrorInvalidParameter);
    std::vector<uint8_t> out(replyHeader + size_t(count) * DP::kIoReplyRecordSize, 0);
    if (replyHeader >= 8) Vdapi::Wire::putU32(out.data() + 4, count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* rec = in.data() + recordsAt + size_t(i) * DP::kIoRequestRecordSize;
        if (!nameTerminated(rec + DP::kIoRequestRecordName, DP::kNameField)) return fail(DP::kErrInvalidArg);
        DP::IoConfigItem item;
        DP::decodeIoRequestRecord(rec, item);
        if (uint32_t err = ioItem(ports, item)) return fail(err);
        DP::encodeIoReplyRecord(out.data() + replyHeader + size_t(i) * DP::kIoReplyRecordSize, item);
    }
    return ok(std::move(out));
}

/// Legacy I/O configuration by numbers: u32 count at 0, then `count` 32-byte records whose
/// 1-based port (within the function) and group code are read; replies the records answered.
DriverReply ioConfigByCodes(const std::vector<PortSpec>& ports, int portOffset, int portLimit,
                            const std::vector<uint8_t>& in)
{
    constexpr size_t kRecord = DP::LegacyIoRecord::kSize;
    if (in.size() < DP::kLegacyIoRequestHeaderSize) return fail(DW::kErrorInvalidParameter);
    const uint32_t count = Vdapi::Wire::getU32(in.data());
    if (count > DP::kMaxIoRecords || in.size() != DP::kLegacyIoRequestHeaderSize + size_t(count) * kRecord)
        return fail(DW::kErrorInvalidParameter);
    std::vector<uint8_t> out(size_t(count) * kRecord, 0);
    for (uint32_t i = 0; i < count; ++i) {
        DP::LegacyIoRecord rec = DP::LegacyIoRecord::decode(in.data() + DP::kLegacyIoRequestHeaderSize + i * kRecord);
        if (rec.port < 1 || rec.port > portLimit) return fail(DP::kErrNoSuchPort);
        if (rec.group < 0 || rec.group >= kIoGroupCodeEnd) return fail(DP::kErrInvalidArg);
        DP::IoConfigItem item;
        item.port = rec.port - 1 + portOffset;
        item.group = std::string(ioCodeName(rec.group));
        if (uint32_t err = ioItem(ports, item)) return fail(err);
        rec.value = ioCode(item.value);
        rec.subValue = ioCode(item.subValue);
        rec.par1 = item.par1;
        rec.par2 = item.par2;
        rec.encode(out.data() + i * kRecord);
    }
    return ok(std::move(out));
}

/// Exclusive-access driver command on one block set.
DriverReply exclusive(SimState& state, size_t device, const std::vector<BlockId>& blocks, int32_t command,
                      uint64_t connection)
{
    switch (command) {
    case DP::kCmdAcquire: return fail(state.acquire(device, blocks, connection));
    case DP::kCmdRelease: return fail(state.release(device, blocks, connection));
    case DP::kCmdProbe: return fail(state.probe(device, blocks, connection));
    case DP::kCmdPassThrough: return fail(DP::kErrNotSupported);
    default: return fail(DP::kErrInvalidArg);
    }
}

// ---- PCIe and Bb2 ----
DriverReply pcieRequest(SimState& state, const Endpoint& ep, uint64_t connection, uint32_t code,
                        const std::vector<uint8_t>& in)
{
    const DeviceSpec& d = state.rig().devices[ep.device];
    const DriverSpec& drv = state.rig().drivers[ep.family];
    const BlockId core = blockId(BlockType::Core, -1);
    auto exact = [&](size_t n) { return in.size() == n; };
    switch (code) {
    case DP::kGetVersion:
        if (!exact(DP::kHeaderSize)) return fail(DW::kErrorInvalidParameter);
        return ok(versionReply(drv.version));
    case DP::kGetDeviceInfo:
    case DP::kGetDeviceInfoOld: {
        if (code == DP::kGetDeviceInfo && !drv.newInfoRequest) return fail(DW::kErrorInvalidFunction);
        if (!exact(DP::kHeaderSize)) return fail(DW::kErrorInvalidParameter);
        std::vector<uint8_t> out(DP::DeviceInfoRecord::kSize);
        infoRecord(d).encode(out.data(), code == DP::kGetDeviceInfo);
        return ok(std::move(out));
    }
    case DP::kGetProperty: {
        if (!exact(DP::PciePropertyRequest::kSize)) return fail(DW::kErrorInvalidParameter);
        if (!nameTerminated(in.data() + DP::PciePropertyRequest::kName, DP::kNameField)) return fail(DP::kErrInvalidArg);
        auto req = DP::PciePropertyRequest::decode(in.data());
        if (!(BlockId{req.blockId1, req.blockId2} == core)) return fail(DP::kErrNotFound);
        return propertyOf(d, req.query.typeSelector, req.query.port, req.query.name);
    }
    case DP::kIoConfig: {
        if (in.size() < DP::kIoRequestHeaderSize) return fail(DW::kErrorInvalidParameter);
        if (!(BlockId{Vdapi::Wire::getU32(in.data()), Vdapi::Wire::getU32(in.data() + 4)} == core))
            return fail(DP::kErrNotFound);
        return ioConfigByNames(d.ports, in, 16, DP::kIoRequestHeaderSize, DP::kIoReplyHeaderSize);
    }
    case DP::kListFunctionBlocks: {
        if (!exact(DP::kListBlocksRequestSize)) return fail(DW::kErrorInvalidParameter);
        int32_t port = Vdapi::Wire::getI32(in.data() + 16);
        int32_t role = Vdapi::Wire::getI32(in.data() + 20);
        if (role < DP::kRoleCore || role > DP::kRoleNetwork) return fail(DP::kErrInvalidArg);
        std::vector<BlockType> types;
        if (role == DP::kRoleCore) {
            types = {BlockType::Core};
        } else {
            if (port < 0 || size_t(port) >= d.ports.size()) return fail(DP::kErrNoSuchPort);
            types = blocksForRole(d.ports[size_t(port)], role);
        }
        std::vector<uint8_t> out(4 + 8 * types.size());
        Vdapi::Wire::putU32(out.data(), uint32_t(types.size()));
        for (size_t i = 0; i < types.size(); ++i) {
            BlockId id = blockId(types[i], port);
            Vdapi::Wire::putU32(out.data() + 4 + 8 * i, id.id1);
            Vdapi::Wire::putU32(out.data() + 8 + 8 * i, id.id2);
        }
        return ok(std::move(out));
    }
    case DP::kExclusiveAccess:
    case DP::kGetMacAddress:
    case DP::kGetLinkSpeed: {
        if (!exact(DP::FunctionBlockHeader::kSize)) return fail(DW::kErrorInvalidParameter);
        auto h = DP::FunctionBlockHeader::decode(in.data());
        BlockType type;
        int port;
        if (!decodeBlockId({h.id1, h.id2}, type, port)) return fail(DP::kErrNotFound);
        if (type != BlockType::Core && (size_t(port) >= d.ports.size() || !portHasBlock(d.ports[size_t(port)], type)))
            return fail(DP::kErrNotFound);
        if (code == DP::kGetLinkSpeed) {
            if (h.command != DP::kCmdLinkSpeed) return fail(DP::kErrInvalidArg);
            if (type != BlockType::Network) return fail(DP::kErrNotSupported);
            std::vector<uint8_t> out(DP::kLinkSpeedReplySize);
            Vdapi::Wire::putI32(out.data(), d.ports[size_t(port)].linkSpeedCode);
            return ok(std::move(out));
        }
        if (code == DP::kGetMacAddress) {
            if (h.command != DP::kCmdMacAddress) return fail(DP::kErrInvalidArg);
            if (type != BlockType::Network) return fail(DP::kErrNotSupported);
            const std::array<uint8_t, 6> mac = portMac(d, size_t(port));
            std::vector<uint8_t> out(DP::kMacReplySize, 0);
            std::memcpy(out.data(), mac.data(), mac.size());
            return ok(std::move(out));
        }
        if (type == BlockType::Core) return fail(h.command >= 0 && h.command <= 3 ? DP::kErrNotSupported : DP::kErrInvalidArg);
        return exclusive(state, ep.device, {{h.id1, h.id2}}, h.command, connection);
    }
    default: return fail(DW::kErrorInvalidFunction);
    }
}

// ---- Legacy PCI ----
int functionStart(const DeviceSpec& d, int f)
{
    int start = 0;
    for (int i = 0; i < f; ++i) start += d.functionPorts[size_t(i)];
    return start;
}

/// The legacy access object's exclusive-access set of a device port: the port's DMA block.
std::vector<BlockId> legacyPortBlocks(int devicePort) { return {blockId(BlockType::Dma, devicePort)}; }

DriverReply legacyRequest(SimState& state, const Endpoint& ep, uint64_t connection, uint32_t code,
                          const std::vector<uint8_t>& in)
{
    const DeviceSpec& d = state.rig().devices[ep.device];
    const DriverSpec& drv = state.rig().drivers[ep.family];
    const int functions = int(d.functionPorts.size());
    const int f = ep.function;
    auto exact = [&](size_t n) { return in.size() == n; };
    switch (code) {
    case DP::kLegacyGetVersion:
    case DP::kLegacyGetVersionByName:
        if (!exact(0)) return fail(DW::kErrorInvalidParameter);
        return ok(versionReply(drv.version));
    case DP::kLegacyGetFunctionInfo: {
        if (!exact(0)) return fail(DW::kErrorInvalidParameter);
        DP::LegacyFunctionInfo info{infoRecord(d), uint64_t(d.serial)};
        info.info.private8 = f;
        info.info.private36 = functions;
        std::vector<uint8_t> out(DP::LegacyFunctionInfo::kSize);
        info.encode(out.data());
        return ok(std::move(out));
    }
    case DP::kLegacyGetProperty: {
        if (!exact(DP::LegacyPropertyRequest::kSize)) return fail(DW::kErrorInvalidParameter);
        if (!nameTerminated(in.data() + DP::LegacyPropertyRequest::kName, DP::kNameField)) return fail(DP::kErrInvalidArg);
        auto q = DP::LegacyPropertyRequest::decode(in.data()).query;
        if (q.typeSelector != -1 && q.typeSelector != d.typeNumber) return propertyOf(d, q.typeSelector, q.port, q.name);
        int fn = f;
        if (q.typeSelector == d.typeNumber) {
            if (q.subFunction < 0 || q.subFunction >= functions) return fail(DP::kErrNotFound);
            fn = q.subFunction;
        }
        const int count = d.functionPorts[size_t(fn)];
        if (q.port == -1 && functions > 1 && (q.name == "PORT_COUNT" || q.name == "MAIN_PORT_COUNT"))
            return ok(valueReply(count));
        if (q.port < -1 || q.port >= count) return fail(DP::kErrNoSuchPort);
        return propertyOf(d, -1, q.port < 0 ? -1 : functionStart(d, fn) + q.port, q.name);
    }
    case DP::kLegacyIoConfig:
        return ioConfigByCodes(d.ports, functionStart(d, f), d.functionPorts[size_t(f)], in);
    case DP::kLegacyExclusiveAccess: {
        if (!exact(DP::LegacyExclusiveRequest::kSize)) return fail(DW::kErrorInvalidParameter);
        if (Vdapi::Wire::getI32(in.data()) != 1) return fail(DP::kErrInvalidArg);
        auto r = DP::LegacyExclusiveRequest::decode(in.data());
        if (r.port < 0 || r.port >= d.functionPorts[size_t(f)]) return fail(DP::kErrNoSuchPort);
        if (r.command < DP::kLegacyAcquire || r.command > DP::kLegacyProbe) return fail(DP::kErrInvalidArg);
        return exclusive(state, ep.device, legacyPortBlocks(functionStart(d, f) + r.port), r.command - 1, connection);
    }
    case DP::kLegacyGetLinkSpeed: {
        if (!exact(DP::kLegacyLinkSpeedRequestSize)) return fail(DW::kErrorInvalidParameter);
        int32_t port = Vdapi::Wire::getI32(in.data());
        if (port < 0 || port >= d.functionPorts[size_t(f)]) return fail(DP::kErrNoSuchPort);
        const PortSpec& p = d.ports[size_t(functionStart(d, f) + port)];
        if (!p.caps.count("IP")) return fail(DP::kErrNotSupported);
        std::vector<uint8_t> out(DP::kLinkSpeedReplySize);
        Vdapi::Wire::putI32(out.data(), p.linkSpeedCode);
        return ok(std::move(out));
    }
    default: return fail(DW::kErrorInvalidFunction);
    }
}

// ---- USB ----
DriverReply usbRequest(SimState& state, const Endpoint& ep, uint64_t connection, uint32_t code,
                       const std::vector<uint8_t>& in)
{
    const DeviceSpec& d = state.rig().devices[ep.device];
    const DriverSpec& drv = state.rig().drivers[ep.family];
    auto exact = [&](size_t n) { return in.size() == n; };
    switch (code) {
    case UP::kGetVersion:
        if (!exact(0)) return fail(DW::kErrorInvalidParameter);
        return ok(versionReply(drv.version));
    case UP::kGetDeviceInfo: {
        if (!exact(0)) return fail(DW::kErrorInvalidParameter);
        UP::UsbDeviceInfo info;
        info.productId = d.usbProductId;
        info.vendorId = d.usbVendorId;
        info.usbAddress = d.usbAddress;
        info.typeNumber = uint32_t(d.typeNumber);
        info.hardwareRevision = uint32_t(d.hardwareRevision);
        info.firmwareVersion = uint32_t(d.firmwareVersion);
        info.firmwareVariant = uint32_t(d.firmwareVariant);
        info.serial = uint64_t(d.serial);
        std::vector<uint8_t> out(UP::UsbDeviceInfo::kSize);
        info.encode(out.data());
        return ok(std::move(out));
    }
    case UP::kGetSubType: {
        if (!exact(0)) return fail(DW::kErrorInvalidParameter);
        std::vector<uint8_t> out(UP::kSubTypeReplySize);
        Vdapi::Wire::putI32(out.data(), d.subType);
        return ok(std::move(out));
    }
    case UP::kGetProperty: {
        if (!exact(UP::UsbPropertyRequest::kSize)) return fail(DW::kErrorInvalidParameter);
        if (!nameTerminated(in.data() + UP::UsbPropertyRequest::kName, DP::kNameField)) return fail(DP::kErrInvalidArg);
        auto r = UP::UsbPropertyRequest::decode(in.data());
        return propertyOf(d, r.typeSelector, r.port, r.name);
    }
    case UP::kIoConfig:
        return ioConfigByNames(d.ports, in, 0, UP::kIoRequestHeaderSize, 0);
    case DP::kLegacyExclusiveAccess: {
        if (!exact(DP::LegacyExclusiveRequest::kSize)) return fail(DW::kErrorInvalidParameter);
        if (Vdapi::Wire::getI32(in.data()) != 1) return fail(DP::kErrInvalidArg);
        auto r = DP::LegacyExclusiveRequest::decode(in.data());
        if (r.port < 0 || size_t(r.port) >= d.ports.size()) return fail(DP::kErrNoSuchPort);
        if (r.command < DP::kLegacyAcquire || r.command > DP::kLegacyProbe) return fail(DP::kErrInvalidArg);
        return exclusive(state, ep.device, legacyPortBlocks(r.port), r.command - 1, connection);
    }
    default: return fail(DW::kErrorInvalidFunction);
    }
}

} // namespace

void fillOpenDriverBytes(Family family, uint32_t code, std::vector<uint8_t>& out, uint8_t fill)
{
    auto span = [&](size_t from, size_t to) {
        for (size_t i = from; i < to && i < out.size(); ++i) out[i] = fill;
    };
    auto ioRecords = [&](size_t head) {
        for (size_t r = head; r + DP::kIoReplyRecordSize <= out.size(); r += DP::kIoReplyRecordSize)
            span(r + DP::kIoReplyPar2 + 8, r + DP::kIoReplyRecordSize);
    };
    const bool pcie = family == Family::Pcie || family == Family::Bb2;
    if (pcie && (code == DP::kGetDeviceInfo || code == DP::kGetDeviceInfoOld)) {
        span(12, 16);
        span(58, 60);
        span(96, 104);
    } else if ((pcie && code == DP::kGetProperty) || (family == Family::Legacy && code == DP::kLegacyGetProperty) ||
               (family == Family::Usb && code == UP::kGetProperty)) {
        span(0, DP::kPropertyReplyValue);
    } else if (pcie && code == DP::kIoConfig) {
        span(0, DP::kIoReplyHeaderSize);
        ioRecords(DP::kIoReplyHeaderSize);
    } else if (family == Family::Usb && code == UP::kIoConfig) {
        ioRecords(0);
    } else if (family == Family::Usb && code == UP::kGetDeviceInfo) {
        span(UP::UsbDeviceInfo::kReserved8, UP::UsbDeviceInfo::kReserved8 + 4);
        span(UP::UsbDeviceInfo::kReserved28, UP::UsbDeviceInfo::kReserved28 + 4);
    }
}

DriverReply answerDriverRequest(SimState& state, const Endpoint& endpoint, uint64_t connection, uint32_t code,
                                const std::vector<uint8_t>& input, uint32_t outputCapacity)
{
    DriverReply reply;
    {
        auto lk = state.lock();
        if (endpoint.device >= state.rig().devices.size()) return fail(DP::kErrInternal);
        if (!state.plugged(endpoint.device)) return fail(1167); // ERROR_DEVICE_NOT_CONNECTED
        switch (endpoint.family) {
        case Family::Pcie:
        case Family::Bb2: reply = pcieRequest(state, endpoint, connection, code, input); break;
        case Family::Legacy: reply = legacyRequest(state, endpoint, connection, code, input); break;
        case Family::Usb: reply = usbRequest(state, endpoint, connection, code, input); break;
        }
    }
    if (reply.output.size() > outputCapacity) return fail(DW::kErrorInsufficientBuffer);
    if (const int fill = state.openFill(); fill >= 0 && reply.windowsError == 0)
        fillOpenDriverBytes(endpoint.family, code, reply.output, uint8_t(fill));
    return reply;
}

} // namespace vdsim
