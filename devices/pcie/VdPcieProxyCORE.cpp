// Requests of the PCIe/Bb2 core function block, with every reply length checked before use.
#include "devices/pcie/VdPcieProxyCORE.h"

#include "devices/platform/Xp.h"

#include <cstring>

namespace Vdapi {

namespace DP = DriverProtocol;

namespace {

/// A successful answer shorter than the caller needs is a communication fault.
VdResult CheckAnswerLength(VdResult rc, uint32_t code, uint32_t got, uint32_t minOutput)
{
    if (isSuccess(rc) && got < minOutput) {
        VDAPI_LOG(Warning, "driver request 0x%08X answered %u bytes, expected at least %u", code, got, minOutput);
        return VDAPI_E_COMMUNICATION;
    }
    return rc;
}

} // namespace

VdResult DriverCall(IXpDriver& driver, uint32_t code, const void* input, uint32_t inputSize, void* output,
                    uint32_t outputCapacity, uint32_t minOutput, uint32_t* returned)
{
    uint32_t got = 0;
    const VdResult rc = driver.Request(code, input, inputSize, output, outputCapacity, &got, nullptr);
    if (returned)
        *returned = got;
    return CheckAnswerLength(rc, code, got, minOutput);
}

void RequestProperties(IXpDriver* driver, uint32_t code, size_t requestSize, std::span<const DP::PropertyQuery> queries,
                       std::span<uint64_t> values, std::span<VdResult> results,
                       const std::function<bool(const DP::PropertyQuery&, uint8_t*)>& encode)
{
    const size_t count = queries.size();
    std::vector<uint8_t> requests(count * requestSize);
    std::vector<uint8_t> answers(count * DP::kPropertyReplySize);
    std::vector<DriverRequestItem> items;
    std::vector<size_t> queryOf; // items[k] asks queries[queryOf[k]]
    items.reserve(count);
    queryOf.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        values[i] = 0;
        uint8_t* request = requests.data() + i * requestSize;
        // A name that cannot be sent is refused before the handle is looked at.
        results[i] = !encode(queries[i], request) ? VDAPI_E_BUF_TOO_SMALL : !driver ? VDAPI_E_DEV_DRIVER : VDAPI_OK;
        if (results[i] != VDAPI_OK)
            continue;
        DriverRequestItem item;
        item.code = code;
        item.input = request;
        item.inputSize = uint32_t(requestSize);
        item.output = answers.data() + i * DP::kPropertyReplySize;
        item.outputCapacity = uint32_t(DP::kPropertyReplySize);
        items.push_back(item);
        queryOf.push_back(i);
    }
    if (!items.empty())
        driver->RequestBatch(items);
    for (size_t k = 0; k < items.size(); ++k) {
        const size_t i = queryOf[k];
        results[i] = CheckAnswerLength(items[k].result, code, items[k].returnedSize, uint32_t(DP::kPropertyReplySize));
        if (isSuccess(results[i]))
            values[i] = Wire::getU64(static_cast<const uint8_t*>(items[k].output) + DP::kPropertyReplyValue);
    }
}

VdResult RequestOneIoRecord(IXpDriver& driver, uint32_t code, DP::IoConfigItem& item)
{
    uint8_t request[DP::kCountHeaderSize + DP::kIoRequestRecordSize];
    Wire::putU32(request, 1);
    DP::encodeIoRequestRecord(request + DP::kCountHeaderSize, item);
    uint8_t reply[DP::kIoReplyRecordSize];
    const VdResult rc = DriverCall(driver, code, request, sizeof request, reply, sizeof reply, sizeof reply);
    if (isSuccess(rc))
        DP::decodeIoReplyRecord(reply, item);
    return rc;
}

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
