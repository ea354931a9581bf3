// Run-time state of the simulator: block and Ethernet-port arbitration, fault rules and counters.
#include "sim/SimState.h"

#include "devices/VdapiResult.h"

#include <cstdio>

namespace vdsim {

using Vdapi::DriverProtocol::BlockId;
namespace DP = Vdapi::DriverProtocol;

BlockId blockId(BlockType type, int port)
{
    return {kBlockIdBase | uint32_t(type), type == BlockType::Core ? 0u : 0x100u + uint32_t(port)};
}

bool decodeBlockId(const BlockId& id, BlockType& type, int& port)
{
    if ((id.id1 & 0xFFFF0000u) != kBlockIdBase) return false;
    uint32_t t = id.id1 & 0xFFFFu;
    if (t < uint32_t(BlockType::Core) || t > uint32_t(BlockType::Network)) return false;
    type = BlockType(t);
    if (type == BlockType::Core) {
        port = -1;
        return id.id2 == 0;
    }
    if (id.id2 < 0x100u || id.id2 >= 0x100u + 64u) return false;
    port = int(id.id2 - 0x100u);
    return true;
}

std::vector<BlockType> blocksForRole(const PortSpec& port, int32_t role)
{
    auto has = [&](const char* cap) { return port.caps.count(cap) != 0; };
    switch (role) {
    case DP::kRoleCore: return {BlockType::Core};
    case DP::kRoleReceive: return has("INPUT") ? std::vector{BlockType::Receive, BlockType::Dma} : std::vector<BlockType>{};
    case DP::kRoleTransmit: return has("OUTPUT") ? std::vector{BlockType::Transmit, BlockType::Dma} : std::vector<BlockType>{};
    case DP::kRoleDemod: return has("DEMOD") ? std::vector{BlockType::Demod, BlockType::Dma} : std::vector<BlockType>{};
    case DP::kRoleMod: return has("MOD") ? std::vector{BlockType::Mod, BlockType::Dma} : std::vector<BlockType>{};
    case DP::kRoleNetwork: return has("IP") ? std::vector{BlockType::Network} : std::vector<BlockType>{};
    default: return {};
    }
}

bool portHasBlock(const PortSpec& port, BlockType type)
{
    for (int32_t role = DP::kRoleReceive; role <= DP::kRoleNetwork; ++role)
        for (BlockType t : blocksForRole(port, role))
            if (t == type) return true;
    return false;
}

SimState::SimState(Rig rig) : rig_(std::move(rig))
{
    for (const auto& d : rig_.devices) plugged_.push_back(d.present);
    servicePlugged_.assign(rig_.service.devices.size(), true);
}

uint32_t SimState::probe(size_t device, const std::vector<BlockId>& blocks, uint64_t holder) const
{
    for (const auto& b : blocks) {
        auto it = holds_.find({device, b.id1, b.id2});
        if (it != holds_.end() && it->second != holder) return DP::kErrHeldByOtherUser;
    }
    return 0;
}

uint32_t SimState::acquire(size_t device, const std::vector<BlockId>& blocks, uint64_t holder)
{
    if (uint32_t err = probe(device, blocks, holder)) return err;
    for (const auto& b : blocks) holds_[{device, b.id1, b.id2}] = holder;
    return 0;
}

uint32_t SimState::release(size_t device, const std::vector<BlockId>& blocks, uint64_t holder)
{
    uint32_t result = 0;
    for (const auto& b : blocks) {
        auto it = holds_.find({device, b.id1, b.id2});
        if (it == holds_.end()) continue;
        if (it->second == holder) holds_.erase(it);
        else result = DP::kErrHeldByOtherUser;
    }
    return result;
}

void SimState::releaseAll(uint64_t holder)
{
    std::erase_if(holds_, [holder](const auto& kv) { return kv.second == holder; });
    std::erase_if(ethernetHolds_, [holder](const auto& kv) { return kv.second.connection == holder; });
    std::erase_if(ethernetHandles_, [holder](const auto& kv) { return kv.second.connection == holder; });
}

uint32_t SimState::openEthernetPort(uint64_t connection, int64_t serial, int32_t port)
{
    if (ethernetHandles_.size() >= kMaxEthernetHandles) return 0; // a client that never closes its handles
    uint32_t handle = ++lastEthernetHandle_;
    while (handle == 0 || ethernetHandles_.count(handle)) handle = ++lastEthernetHandle_; // after wrapping
    ethernetHandles_[handle] = {connection, {serial, port}};
    return handle;
}

const SimState::EthernetHandle* SimState::ownedHandle(uint64_t connection, const EthernetPort& port,
                                                      uint32_t handle) const
{
    auto it = ethernetHandles_.find(handle);
    if (it == ethernetHandles_.end() || it->second.connection != connection || it->second.port != port) return nullptr;
    return &it->second;
}

uint32_t SimState::ethernetPortAccess(uint64_t connection, int64_t serial, int32_t port, uint32_t handle,
                                      uint32_t mode)
{
    const EthernetPort key{serial, port};
    if (!ownedHandle(connection, key, handle)) return Vdapi::VDAPI_E_INVALID_ARG;
    auto held = ethernetHolds_.find(key);
    const bool heldByOther = held != ethernetHolds_.end() && held->second.connection != connection;
    switch (mode) {
    case 0: // acquire
        if (heldByOther) return Vdapi::VDAPI_E_IN_USE;
        ethernetHolds_[key] = {connection, handle};
        return 0;
    case 1: // release
        if (heldByOther) return Vdapi::VDAPI_E_IN_USE;
        if (held != ethernetHolds_.end()) ethernetHolds_.erase(held);
        return 0;
    case 2: // probe
        return heldByOther ? Vdapi::VDAPI_E_IN_USE : 0;
    default: return Vdapi::VDAPI_E_NOT_SUPPORTED;
    }
}

uint32_t SimState::closeEthernetPort(uint64_t connection, int64_t serial, int32_t port, uint32_t handle)
{
    const EthernetPort key{serial, port};
    if (!ownedHandle(connection, key, handle)) return Vdapi::VDAPI_E_INVALID_ARG;
    auto held = ethernetHolds_.find(key);
    if (held != ethernetHolds_.end() && held->second.connection == connection && held->second.handle == handle)
        ethernetHolds_.erase(held);
    ethernetHandles_.erase(handle);
    return 0;
}

uint32_t SimState::holdEthernetPort(int64_t serial, int32_t port, bool hold)
{
    const EthernetPort key{serial, port};
    auto held = ethernetHolds_.find(key);
    if (held != ethernetHolds_.end() && held->second.connection != kOtherUser) return Vdapi::VDAPI_E_IN_USE;
    if (hold) ethernetHolds_[key] = {kOtherUser, 0};
    else if (held != ethernetHolds_.end()) ethernetHolds_.erase(held);
    return 0;
}

size_t SimState::ethernetHoldCount(int64_t serial) const
{
    size_t n = 0;
    for (const auto& kv : ethernetHolds_) n += kv.first.first == serial;
    return n;
}

void SimState::releaseDevice(size_t device)
{
    std::erase_if(holds_, [device](const auto& kv) { return std::get<0>(kv.first) == device; });
}

size_t SimState::holdCount(size_t device) const
{
    size_t n = 0;
    for (const auto& kv : holds_) n += std::get<0>(kv.first) == device;
    return n;
}

FaultDecision SimState::beginRequest(const std::string& kind)
{
    std::lock_guard<std::mutex> lk(faultMutex_);
    ++counters_[kind];
    FaultDecision d;
    if (auto it = delays_.find(kind); it != delays_.end()) d.delayMs = it->second;
    else if (auto all = delays_.find(""); all != delays_.end()) d.delayMs = all->second;
    if (auto it = fails_.find(kind); it != fails_.end()) {
        d.failWith = it->second.error;
        if (--it->second.remaining <= 0) fails_.erase(it);
        return d; // a failed request has no reply body to corrupt
    }
    if (auto it = corrupts_.find(kind); it != corrupts_.end()) {
        d.corrupt = true;
        if (--it->second <= 0) corrupts_.erase(it);
    }
    return d;
}

void SimState::countEvent(const std::string& kind)
{
    std::lock_guard<std::mutex> lk(faultMutex_);
    ++counters_[kind];
}

void SimState::failNext(const std::string& kind, int count, uint32_t error)
{
    std::lock_guard<std::mutex> lk(faultMutex_);
    if (count <= 0) fails_.erase(kind);
    else fails_[kind] = {count, error};
}

void SimState::corruptNext(const std::string& kind, int count)
{
    std::lock_guard<std::mutex> lk(faultMutex_);
    if (count <= 0) corrupts_.erase(kind);
    else corrupts_[kind] = count;
}

void SimState::setDelay(const std::string& kind, int ms)
{
    std::lock_guard<std::mutex> lk(faultMutex_);
    if (ms <= 0) delays_.erase(kind);
    else delays_[kind] = ms;
}

std::map<std::string, uint64_t> SimState::counters()
{
    std::lock_guard<std::mutex> lk(faultMutex_);
    return counters_;
}

void SimState::resetCounters()
{
    std::lock_guard<std::mutex> lk(faultMutex_);
    counters_.clear();
}

std::string driverKind(uint32_t code)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", code);
    return buf;
}

std::string serviceKind(int32_t command) { return "svc:" + std::to_string(command); }

} // namespace vdsim
