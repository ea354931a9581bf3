// USB driver requests: version, device information, sub-type, 80-byte property look-ups and
// name-based I/O configuration, each reply length checked before use.
#include "devices/usb/VduHal.h"

#include "devices/DriverCalls.h"
#include "devices/platform/Xp.h"

#include <cstring>

namespace Vdapi {

namespace DP = DriverProtocol;
namespace UP = UsbDriverProtocol;

namespace {

// IODIR settings whose first parameter names a port; the driver counts it from 0.
bool VduParamNamesPort(const DP::IoConfigItem& item)
{
    if (item.group != "IODIR")
        return false;
    if (item.value == "OUTPUT" || item.value == "INTOUTPUT")
        return item.subValue == "DBLBUF" || item.subValue == "LOOPS2L3" || item.subValue == "LOOPS2TS" ||
               item.subValue == "LOOPTHR";
    if (item.value == "INPUT")
        return item.subValue == "SHAREDANT";
    return item.value == "MONITOR";
}

} // namespace

VduHal::VduHal() = default;

VduHal::~VduHal()
{
    Close();
}

VdResult VduHal::Open(int index, int port, int flag)
{
    Close();
    if (!m_driver)
        m_driver = Xp::NewDriver(DriverClass::Usb);
    if (!m_driver)
        return VDAPI_E_OUT_OF_MEM;
    VdResult rc = m_driver->Open(index, false, true);
    if (!isSuccess(rc))
        return rc;
    m_index = index;
    m_port = port;
    m_flag = flag;

    if (port >= 0) {
        rc = ReadPortProperties();
        if (!isSuccess(rc))
            return rc;
    }
    int64_t value = 0;
    m_fanCount = isSuccess(Property("FAN_COUNT", -1, value)) ? int32_t(value) : 0;
    m_fanType = isSuccess(Property("FAN_TYPE", -1, value)) ? int32_t(value) : -1;
    m_tempSensorCount = isSuccess(Property("TEMP_SENS_COUNT", -1, value)) ? int32_t(value) : 0;
    m_tempSensorType = isSuccess(Property("TEMP_SENS_TYPE", -1, value)) ? int32_t(value) : -1;

    return GetDeviceInfo(m_info);
}

VdResult VduHal::ReadPortProperties()
{
    PortProperties& p = m_portProperties;
    p = PortProperties();
    int64_t value = 0;
    // Register blocks are kept only when the driver knows them.
    const std::pair<const char*, int64_t*> blocks[] = {{"REGISTERS_TX", &p.registersTx},
                                                       {"REGISTERS_RX", &p.registersRx},
                                                       {"REGISTERS_MOD", &p.registersMod},
                                                       {"REGISTERS_RF", &p.registersRf}};
    for (const auto& [name, field] : blocks)
        if (isSuccess(Property(name, m_port, value)))
            *field = value;

    const std::pair<const char*, bool*> flags[] = {{"CAP_DVBRAW10B", &p.dvbRaw10b},
                                                   {"CAP_TIMESTAMP64", &p.timestamp64},
                                                   {"CAP_SDITIME", &p.sdiTime},
                                                   {"CAP_TXONTIME", &p.txOnTime}};
    for (const auto& [name, field] : flags) {
        const VdResult rc = Property(name, m_port, value);
        if (!isSuccess(rc))
            return rc;
        *field = (value & 0xFF) != 0;
    }
    p.loopBack32bTx = isSuccess(Property("TESTING_LOOP_BACK_32B_TX", m_port, value)) ? value : -1;
    p.loopBack32bRx = isSuccess(Property("TESTING_LOOP_BACK_32B_RX", m_port, value)) ? value : -1;
    const VdResult rc = Property("HARDWARE_SUPPORTS_TXNULL", m_port, value);
    if (rc == VDAPI_E_NOT_FOUND)
        return VDAPI_OK;
    if (!isSuccess(rc))
        return rc;
    p.supportsTxNull = (value & 0xFF) != 0;
    return VDAPI_OK;
}

void VduHal::Close()
{
    if (m_driver)
        m_driver->Close();
    m_index = -1;
    m_port = -1;
}

bool VduHal::IsOpen() const
{
    return m_driver && m_driver->IsOpen();
}

VdResult VduHal::GetDeviceInfo(VduDeviceInfo& info)
{
    info = VduDeviceInfo();
    if (!IsOpen())
        return VDAPI_E_DEV_DRIVER;
    uint8_t reply[VduDeviceInfo::kSize];
    const VdResult rc =
        DriverCall(*m_driver, UP::kGetDeviceInfo, nullptr, 0, reply, sizeof reply, sizeof reply);
    if (isSuccess(rc))
        info = VduDeviceInfo::decode(reply);
    return rc;
}

VdResult VduHal::GetDriverVersion(int32_t& major, int32_t& minor, int32_t& bugfix, int32_t& build)
{
    major = minor = bugfix = build = -1;
    if (!IsOpen())
        return VDAPI_E_DEV_DRIVER;
    uint8_t reply[DP::VersionRecord::kSize];
    const VdResult rc = DriverCall(*m_driver, UP::kGetVersion, nullptr, 0, reply, sizeof reply, sizeof reply);
    if (isSuccess(rc)) {
        const DP::VersionRecord v = DP::VersionRecord::decode(reply);
        major = v.major;
        minor = v.minor;
        bugfix = v.bugfix;
        build = v.build;
    }
    return rc;
}

VdResult VduHal::GetSubType(int32_t& value)
{
    value = 0;
    if (!IsOpen())
        return VDAPI_E_DEV_DRIVER;
    uint8_t reply[UP::kSubTypeReplySize];
    const VdResult rc = DriverCall(*m_driver, UP::kGetSubType, nullptr, 0, reply, sizeof reply, sizeof reply);
    if (isSuccess(rc))
        value = Wire::getI32(reply);
    return rc;
}

VdResult VduHal::GetProperty(const DP::PropertyQuery& key, uint64_t& value)
{
    VdResult rc = VDAPI_OK;
    GetProperties({&key, 1}, {&value, 1}, {&rc, 1});
    return rc;
}

void VduHal::GetProperties(std::span<const DP::PropertyQuery> keys, std::span<uint64_t> values,
                           std::span<VdResult> results)
{
    RequestProperties(IsOpen() ? m_driver.get() : nullptr, UP::kGetProperty, UP::UsbPropertyRequest::kSize, keys,
                      values, results,
                      [](const DP::PropertyQuery& key, uint8_t* bytes) {
                          UP::UsbPropertyRequest request;
                          request.typeSelector = key.typeSelector;
                          request.field1 = key.subFunction;
                          request.field2 = key.selector3;
                          request.port = key.port;
                          request.name = key.name;
                          return key.name.size() < DP::kNameField && request.encode(bytes);
                      });
}

VdResult VduHal::Property(const char* name, int port, int64_t& value)
{
    DP::PropertyQuery key;
    key.name = name;
    key.port = port;
    uint64_t raw = 0;
    const VdResult rc = GetProperty(key, raw);
    value = int64_t(raw);
    return rc;
}

VdResult VduHal::GetIoConfig(DP::IoConfigItem& item)
{
    if (item.group.empty() || item.group.size() >= DP::kNameField)
        return VDAPI_E_INVALID_ARG;
    if (!IsOpen())
        return VDAPI_E_DEV_DRIVER;
    static_assert(UP::kIoRequestHeaderSize == DP::kCountHeaderSize, "same request layout as legacy");
    const VdResult rc = RequestOneIoRecord(*m_driver, UP::kIoConfig, item);
    if (!isSuccess(rc))
        return rc;
    if (VduParamNamesPort(item) && item.par1 >= 0)
        ++item.par1;
    return VDAPI_OK;
}

} // namespace Vdapi
