// Legacy PCI function access: version, function information, 88-byte property lookups, I/O
// configuration; and the multi-function card's port map and query rewrite.
#include "devices/pcie/VdaHal.h"

#include "devices/IoConfigTable.h"
#include "devices/pcie/VdPcieProxyCORE.h"
#include "devices/platform/Xp.h"

#include <algorithm>

namespace Vdapi {

namespace DP = DriverProtocol;

namespace {

// Both are answered by a multi-function card from its port map.
bool IsPortCountName(const std::string& name)
{
    return name == "PORT_COUNT" || name == "MAIN_PORT_COUNT";
}

// Most ports one function may announce.
constexpr int32_t kMaxFunctionPorts = 256;

} // namespace

VdaHal::VdaHal() = default;
VdaHal::~VdaHal() = default;

VdResult VdaHal::Open(int index)
{
    Close();
    if (!m_driver)
        m_driver = Xp::NewDriver(DriverClass::LegacyPci);
    if (!m_driver)
        return VDAPI_E_OUT_OF_MEM;
    const VdResult rc = m_driver->Open(index, false, true);
    if (isSuccess(rc))
        m_index = index;
    return rc;
}

VdResult VdaHal::VersionByName(int index, DP::VersionRecord& version)
{
    std::unique_ptr<IXpDriver> driver = Xp::NewDriver(DriverClass::LegacyPci);
    if (!driver)
        return VDAPI_E_OUT_OF_MEM;
    VdResult rc = driver->OpenLegacy(index, true);
    if (!isSuccess(rc))
        return rc;
    uint8_t reply[DP::VersionRecord::kSize];
    rc = DriverCall(*driver, DP::kLegacyGetVersionByName, nullptr, 0, reply, sizeof reply, sizeof reply);
    driver->Close();
    if (isSuccess(rc))
        version = DP::VersionRecord::decode(reply);
    return rc;
}

void VdaHal::Close()
{
    if (m_driver)
        m_driver->Close();
    m_index = -1;
}

bool VdaHal::IsOpen() const
{
    return m_driver && m_driver->IsOpen();
}

VdResult VdaHal::GetVersion(DP::VersionRecord& version)
{
    if (!IsOpen())
        return VDAPI_E_DEV_DRIVER;
    uint8_t reply[DP::VersionRecord::kSize];
    const VdResult rc = DriverCall(*m_driver, DP::kLegacyGetVersion, nullptr, 0, reply, sizeof reply, sizeof reply);
    if (isSuccess(rc))
        version = DP::VersionRecord::decode(reply);
    return rc;
}

VdResult VdaHal::ReadInfo()
{
    if (!IsOpen())
        return VDAPI_E_DEV_DRIVER;
    uint8_t reply[DP::LegacyFunctionInfo::kSize];
    const VdResult rc =
        DriverCall(*m_driver, DP::kLegacyGetFunctionInfo, nullptr, 0, reply, sizeof reply, sizeof reply);
    if (isSuccess(rc))
        m_info = DP::LegacyFunctionInfo::decode(reply);
    return rc;
}

VdResult VdaHal::GetProperty(const DP::PropertyQuery& query, uint64_t& value)
{
    VdResult rc = VDAPI_OK;
    GetProperties({&query, 1}, {&value, 1}, {&rc, 1});
    return rc;
}

void VdaHal::GetProperties(std::span<const DP::PropertyQuery> queries, std::span<uint64_t> values,
                           std::span<VdResult> results)
{
    RequestProperties(IsOpen() ? m_driver.get() : nullptr, DP::kLegacyGetProperty, DP::LegacyPropertyRequest::kSize,
                      queries, values, results,
                      [this](const DP::PropertyQuery& query, uint8_t* bytes) {
                          DP::LegacyPropertyRequest request;
                          request.query = query;
                          // The device's own type addresses function 0's table; for another
                          // type a caller's -1 or -2 means "this function".
                          if (query.typeSelector == -1)
                              request.query.subFunction = 0;
                          else if (query.subFunction == -1 || query.subFunction == -2)
                              request.query.subFunction = FunctionIndex();
                          return request.encode(bytes);
                      });
}

VdResult VdaHal::GetIoConfig(DP::IoConfigItem& item)
{
    if (!IsOpen())
        return VDAPI_E_DEV_DRIVER;
    // The legacy driver takes the record as numbers: codes of the I/O-configuration table and
    // a 1-based port.
    DP::LegacyIoRecord record;
    record.port = item.port + 1;
    record.group = IoConfigCode(item.group);
    const IoConfigRow* row = IoConfigRowAt(record.group);
    if (!row || !row->isGroup)
        return VDAPI_E_INVALID_ARG;
    uint8_t request[DP::kLegacyIoRequestHeaderSize + DP::LegacyIoRecord::kSize];
    Wire::putU32(request, 1);
    record.encode(request + DP::kLegacyIoRequestHeaderSize);
    uint8_t reply[DP::LegacyIoRecord::kSize];
    const VdResult rc = DriverCall(*m_driver, DP::kLegacyIoConfig, request, sizeof request, reply, sizeof reply,
                                   sizeof reply);
    if (!isSuccess(rc))
        return rc;
    const DP::LegacyIoRecord answer = DP::LegacyIoRecord::decode(reply);
    // A code outside the table reads as no value, as an unknown name does on the other drivers.
    item.value = IoConfigName(answer.value);
    item.subValue = IoConfigName(answer.subValue);
    item.par1 = answer.par1;
    item.par2 = answer.par2;
    return VDAPI_OK;
}

IXpDriver* VdaHal::DriverForPort(int port, int& localPort)
{
    localPort = port;
    return IsOpen() ? m_driver.get() : nullptr;
}

VdaMultiHal::VdaMultiHal(std::vector<std::unique_ptr<VdaHal>> functions) : m_functions(std::move(functions))
{
    std::stable_sort(m_functions.begin(), m_functions.end(),
                     [](const auto& a, const auto& b) { return a->FunctionIndex() < b->FunctionIndex(); });
}

VdResult VdaMultiHal::BuildPortMap()
{
    m_portMap.clear();
    for (size_t f = 0; f < m_functions.size(); ++f) {
        uint64_t raw = 0;
        DP::PropertyQuery query;
        query.name = "PORT_COUNT";
        const VdResult rc = m_functions[f]->GetProperty(query, raw);
        if (!isSuccess(rc))
            return rc;
        const int32_t ports = int32_t(uint32_t(raw));
        if (ports < 0 || ports > kMaxFunctionPorts) {
            VDAPI_LOG(Error, "legacy function %d announces %d ports", m_functions[f]->FunctionIndex(), ports);
            return VDAPI_E_INTERNAL;
        }
        for (int p = 0; p < ports; ++p)
            m_portMap.push_back({int(f), p});
    }
    return VDAPI_OK;
}

VdResult VdaMultiHal::ReadInfo()
{
    for (auto& function : m_functions) {
        const VdResult rc = function->ReadInfo();
        if (!isSuccess(rc))
            return rc;
    }
    return VDAPI_OK;
}

VdaMultiHal::PropertyRoute VdaMultiHal::RouteProperty(const DP::PropertyQuery& query) const
{
    PropertyRoute route;
    const DP::LegacyFunctionInfo& first = Info();
    const bool ownType = query.typeSelector == -1 || query.typeSelector == first.info.typeNumber;
    if (ownType && IsPortCountName(query.name)) {
        route.value = m_portMap.size();
        return route;
    }
    const bool isCap = query.name.rfind("CAP_", 0) == 0;
    if (query.subFunction >= 0) {
        // An explicit sub-function: it must lie within the card.
        if (query.subFunction >= first.info.private36 && query.subFunction >= int(m_functions.size()))
            route.answer = VDAPI_E_INTERNAL;
        else if (query.subFunction >= int(m_functions.size()))
            route.answer = isCap ? VDAPI_OK : VDAPI_E_NOT_FOUND;
        else
            route.function = query.subFunction;
        route.query = query;
        return route;
    }
    route.function = 0;
    route.query = query;
    if (query.port != -1 && query.typeSelector == -1) {
        if (query.port < 0 || size_t(query.port) >= m_portMap.size()) {
            route.function = -1;
            route.answer = isCap ? VDAPI_OK : VDAPI_E_NOT_FOUND;
            return route;
        }
        const PortMapEntry& entry = m_portMap[size_t(query.port)];
        route.query.typeSelector = first.info.typeNumber;
        route.query.subFunction = m_functions[size_t(entry.subFunction)]->FunctionIndex();
        route.query.port = entry.port;
        route.query.selector3 = first.info.firmwareVariant;
        route.query.selector4 = first.info.hardwareRevision;
        route.query.selector5 = first.info.firmwareVersion;
    }
    return route;
}

VdResult VdaMultiHal::GetProperty(const DP::PropertyQuery& query, uint64_t& value)
{
    VdResult rc = VDAPI_OK;
    GetProperties({&query, 1}, {&value, 1}, {&rc, 1});
    return rc;
}

void VdaMultiHal::GetProperties(std::span<const DP::PropertyQuery> queries, std::span<uint64_t> values,
                                std::span<VdResult> results)
{
    // The card answers some look-ups itself; the rest go to their function's driver handle,
    // one batch per function.
    std::vector<PropertyRoute> routes;
    routes.reserve(queries.size());
    for (size_t i = 0; i < queries.size(); ++i) {
        routes.push_back(RouteProperty(queries[i]));
        values[i] = routes.back().value;
        results[i] = routes.back().answer;
    }
    for (size_t f = 0; f < m_functions.size(); ++f) {
        std::vector<DP::PropertyQuery> asked;
        std::vector<size_t> queryOf;
        for (size_t i = 0; i < routes.size(); ++i) {
            if (routes[i].function != int(f))
                continue;
            asked.push_back(routes[i].query);
            queryOf.push_back(i);
        }
        if (asked.empty())
            continue;
        std::vector<uint64_t> answers(asked.size());
        std::vector<VdResult> answered(asked.size());
        m_functions[f]->GetProperties(asked, answers, answered);
        for (size_t k = 0; k < asked.size(); ++k) {
            values[queryOf[k]] = answers[k];
            results[queryOf[k]] = answered[k];
        }
    }
}

VdResult VdaMultiHal::GetIoConfig(DP::IoConfigItem& item)
{
    if (item.port < 0 || size_t(item.port) >= m_portMap.size())
        return VDAPI_E_NO_SUCH_PORT;
    const PortMapEntry& entry = m_portMap[size_t(item.port)];
    DP::IoConfigItem local = item;
    local.port = entry.port;
    const VdResult rc = m_functions[size_t(entry.subFunction)]->GetIoConfig(local);
    if (isSuccess(rc)) {
        local.port = item.port;
        item = local;
    }
    return rc;
}

IXpDriver* VdaMultiHal::DriverForPort(int port, int& localPort)
{
    localPort = -1;
    if (port < 0 || size_t(port) >= m_portMap.size())
        return nullptr;
    const PortMapEntry& entry = m_portMap[size_t(port)];
    return m_functions[size_t(entry.subFunction)]->DriverForPort(entry.port, localPort);
}

} // namespace Vdapi
