// The shared driver requests, with every reply length checked before use.
#include "devices/DriverCalls.h"

#include "devices/platform/Xp.h"

#include <vector>

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

} // namespace Vdapi
