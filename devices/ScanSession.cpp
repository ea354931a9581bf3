// ScanSession: per-scan memory of property answers and of where the listings found devices.
#include "devices/ScanSession.h"

#include "devices/DeviceDescriptor.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace Vdapi {

namespace {

thread_local ScanSession* t_current = nullptr;

bool EnabledByEnvironment()
{
    const char* env = std::getenv("VDAPI_SCAN_CACHE");
    return env == nullptr || (std::strcmp(env, "off") != 0 && std::strcmp(env, "0") != 0);
}

std::atomic<bool>& DefaultSetting()
{
    static std::atomic<bool> enabled{EnabledByEnvironment()};
    return enabled;
}

} // namespace

bool ScanSession::DefaultEnabled()
{
    return DefaultSetting().load();
}

void ScanSession::SetDefaultEnabled(bool enabled)
{
    DefaultSetting().store(enabled);
}

ScanSession::ScanSession(bool enabled) : m_enabled(enabled), m_previous(t_current)
{
    t_current = this;
}

ScanSession::~ScanSession()
{
    t_current = m_previous;
}

ScanSession* ScanSession::Current()
{
    // A disabled session hides any enclosing one too: everything is asked afresh.
    return t_current != nullptr && t_current->m_enabled ? t_current : nullptr;
}

bool ScanSession::InUse()
{
    return t_current != nullptr;
}

ScanSession::Use::Use(ScanSession& session) : m_previous(t_current)
{
    t_current = &session;
}

ScanSession::Use::~Use()
{
    t_current = m_previous;
}

ScanSession::PropertyKey ScanSession::KeyOf(const DeviceDescriptor& identity, const DriverProtocol::PropertyQuery& q)
{
    return {IdentityKey{identity.category, identity.serial, identity.typeNumber, identity.firmwareVersion,
                        identity.firmwareVariant, identity.hardwareRevision},
            QueryKey{q.name, q.port, q.typeSelector, q.subFunction, q.selector3, q.selector4, q.selector5,
                     q.valueType}};
}

bool ScanSession::FindProperty(const DeviceDescriptor& identity, const DriverProtocol::PropertyQuery& query,
                               uint64_t& value, VdResult& result) const
{
    const PropertyKey key = KeyOf(identity, query);
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_properties.find(key);
    if (it == m_properties.end())
        return false;
    value = it->second.first;
    result = it->second.second;
    ++m_counts.propertyHits;
    return true;
}

void ScanSession::KeepProperty(const DeviceDescriptor& identity, const DriverProtocol::PropertyQuery& query,
                               uint64_t value, VdResult result)
{
    if (!isSuccess(result) && result != VDAPI_E_NOT_FOUND)
        return;
    PropertyKey key = KeyOf(identity, query);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_properties.emplace(std::move(key), std::make_pair(value, result)).second)
        ++m_counts.propertyKept;
}

void ScanSession::NoteFamilyListed(ScanFamily family)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listedFamilies.insert(family);
}

void ScanSession::NoteListed(ScanFamily family, int index, int64_t serial)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listed.emplace(family, index, serial);
}

bool ScanSession::MayHold(ScanFamily family, int index, int64_t serial) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_listedFamilies.count(family) == 0 || m_listed.count({family, index, serial}) != 0)
        return true;
    ++m_counts.interfacesSkipped;
    return false;
}

ScanSession::Counts ScanSession::Statistics() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts;
}

} // namespace Vdapi
