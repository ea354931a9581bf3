// Requests of the PCIe/Bb2 core function block, with every reply length checked before use.
#include "devices/pcie/VdPcieProxyCORE.h"

#include "devices/platform/Xp.h"

#include <cstring>

namespace Vdapi {

namespace DP = DriverProtocol;

VdProxyCORE::VdProxyCORE(DriverClass driverClass) : m_class(driverClass) {}

VdProxyCORE::~VdProxyCORE() = default;

VdResult VdProxyCORE::Open(int index)
{
    Close();
    if (!m_driver)
        m_driver = Xp::NewDriver(m_class);
    if (!m_driver)
        return VDAPI_E_OUT_OF_MEM;
    const VdResult rc = m_driver->Open(index, false, true);
    if (!isSuccess(rc))
        return rc;
    m_index = index;
    return VDAPI_OK;
}

DP::BlockId VdProxyCORE::CoreBlock()
{
    if (!m_coreKnown && IsOpen()) {
        // A failed listing is asked again next time; an empty one is an answer.
        std::vector<DP::BlockId> blocks;
        if (isSuccess(ListBlocks(-1, DP::kRoleCore, blocks))) {
            if (!blocks.empty())
                m_core = blocks.front();
            m_coreKnown = true;
        }
    }
    return m_core;
}

void VdProxyCORE::Close()
{
    if (m_driver)
        m_driver->Close();
    m_index = -1;
    m_core = {};
    m_coreKnown = false;
}

bool VdProxyCORE::IsOpen() const
{
    return m_driver && m_driver->IsOpen();
}

VdResult VdProxyCORE::Call(uint32_t code, const void* input, uint32_t inputSize, void* output,
                           uint32_t outputCapacity, uint32_t minOutput, uint32_t* returned)
{
    if (!IsOpen())
        return VDAPI_E_DEV_DRIVER;
    return DriverCall(*m_driver, code, input, inputSize, output, outputCapacity, minOutput, returned);
}

VdResult VdProxyCORE::ListBlocks(int port, DP::BlockRole role, std::vector<DP::BlockId>& blocks)
{
    blocks.clear();
    uint8_t request[DP::kListBlocksRequestSize];
    DP::encodePlainHeader(request);
    Wire::putI32(request + DP::kHeaderSize, port);
    Wire::putI32(request + DP::kHeaderSize + 4, role);
    uint8_t reply[DP::kListBlocksReplyMax];
    uint32_t got = 0;
    const VdResult rc = Call(DP::kListFunctionBlocks, request, sizeof request, reply, sizeof reply, 4, &got);
    if (!isSuccess(rc))
        return rc;
    if (!DP::decodeBlockList(reply, got, blocks))
        return VDAPI_E_COMMUNICATION;
    return VDAPI_OK;
}

VdResult VdPcieProxyCORE::GetVersion(DP::VersionRecord& version)
{
    uint8_t header[DP::kHeaderSize];
    DP::encodePlainHeader(header);
    uint8_t reply[DP::VersionRecord::kSize];
    const VdResult rc = Call(DP::kGetVersion, header, sizeof header, reply, sizeof reply, sizeof reply);
    if (isSuccess(rc))
        version = DP::VersionRecord::decode(reply);
    return rc;
}

VdResult VdPcieProxyCORE::GetDeviceInfo(DP::DeviceInfoRecord& info)
{
    uint8_t header[DP::kHeaderSize];
    DP::encodePlainHeader(header);
    uint8_t reply[DP::DeviceInfoRecord::kSize] = {};
    VdResult rc = Call(DP::kGetDeviceInfo, header, sizeof header, reply, sizeof reply, sizeof reply);
    if (rc == VDAPI_E_DEV_DRIVER)
        return rc;
    if (!isSuccess(rc)) {
        // An older driver knows only the first request; its record has no seventh word.
        rc = Call(DP::kGetDeviceInfoOld, header, sizeof header, reply, sizeof reply, sizeof reply);
        if (!isSuccess(rc))
            return rc;
        Wire::putI32(reply + DP::DeviceInfoRecord::kDriverInfo7, 0);
    }
    info = DP::DeviceInfoRecord::decode(reply);
    return VDAPI_OK;
}

VdResult VdPcieProxyCORE::GetProperty(const DP::PropertyQuery& query, uint64_t& value)
{
    VdResult rc = VDAPI_OK;
    GetProperties({&query, 1}, {&value, 1}, {&rc, 1});
    return rc;
}

void VdPcieProxyCORE::GetProperties(std::span<const DP::PropertyQuery> queries, std::span<uint64_t> values,
                                    std::span<VdResult> results)
{
    const DP::BlockId core = CoreBlock();
    RequestProperties(IsOpen() ? Driver() : nullptr, DP::kGetProperty, DP::PciePropertyRequest::kSize, queries, values,
                      results,
                      [&](const DP::PropertyQuery& query, uint8_t* bytes) {
                          DP::PciePropertyRequest request;
                          request.blockId1 = core.id1;
                          request.blockId2 = core.id2;
                          request.query = query;
                          return request.encode(bytes);
                      });
}

VdResult VdPcieProxyCORE::GetIoConfig(DP::IoConfigItem& item)
{
    if (item.group.size() >= DP::kNameField)
        return VDAPI_E_INVALID_ARG;
    uint8_t request[DP::kIoRequestOneSize];
    DP::encodeIoRequestOne(request, CoreBlock(), item);
    // The 8-byte head of the reply has no fixed content: only the record after it is read,
    // and Call refuses a reply too short to hold it.
    uint8_t reply[DP::kIoReplyHeaderSize + DP::kIoReplyRecordSize];
    const VdResult rc = Call(DP::kIoConfig, request, sizeof request, reply, sizeof reply, sizeof reply);
    if (!isSuccess(rc))
        return rc;
    DP::decodeIoReplyRecord(reply + DP::kIoReplyHeaderSize, item);
    return VDAPI_OK;
}

VdResult VdPcieProxyCORE::GetPortMac(int port, uint8_t (&mac)[6])
{
    std::vector<DP::BlockId> blocks;
    VdResult rc = ListBlocks(port, DP::kRoleNetwork, blocks);
    if (!isSuccess(rc))
        return rc;
    if (blocks.empty())
        return VDAPI_E_NOT_FOUND;
    uint8_t request[DP::FunctionBlockHeader::kSize];
    DP::FunctionBlockHeader{blocks.front().id1, blocks.front().id2, DP::kCmdMacAddress}.encode(request);
    uint8_t reply[DP::kMacReplySize];
    rc = Call(DP::kGetMacAddress, request, sizeof request, reply, sizeof reply, DP::kMacLength);
    if (isSuccess(rc))
        std::memcpy(mac, reply, DP::kMacLength);
    return rc;
}

} // namespace Vdapi
