// Feeds arbitrary bytes to both ends of a driver request batch: the simulator splitting a
// batch request (the first 4 bytes give the answer room, the rest is the batch), and the
// device layer handing a batch answer (the whole input) out to its requests, whose number
// and rooms come from the input too. Checks what each side accepts against the input.
#include "devices/platform/posix/DriverWire.h"
#include "devices/platform/posix/XpDriverPosix.h"
#include "sim/DriverHandler.h"

#include <cstring>
#include <vector>

namespace {

namespace DW = Vdapi::DriverWire;

void splitRequest(const uint8_t* data, size_t size)
{
    if (size < 4) return;
    const uint32_t room = DW::getU32(data);
    const std::vector<uint8_t> input(data + 4, data + size);
    std::vector<vdsim::BatchItem> items;
    if (vdsim::parseBatchRequest(input, room, items) != vdsim::BatchParse::Ok) return;
    if (items.empty() || items.size() != DW::getU32(input.data()) || items.size() > DW::kMaxBatchRequests)
        __builtin_trap();
    size_t at = DW::kBatchCountSize;
    uint64_t needed = DW::kBatchCountSize;
    for (const vdsim::BatchItem& item : items) {
        // Requests follow each other without gaps, each header right before its input.
        if (item.inputAt != at + DW::kRequestHeaderSize) __builtin_trap();
        at = item.inputAt + item.header.inputLength;
        if (at > input.size()) __builtin_trap();
        needed += DW::kReplyHeaderSize + uint64_t(item.header.outputCapacity);
    }
    if (at != input.size() || needed > room) __builtin_trap();
}

void handOutAnswer(const uint8_t* data, size_t size)
{
    if (size < 4) return;
    // The batch the answer is for: as many requests as it claims (bounded), rooms from a table.
    static const uint32_t rooms[] = {0, 4, 8, 40, 104, 3};
    const uint32_t claimed = DW::getU32(data);
    const size_t count = claimed <= 64 ? claimed : 3;
    std::vector<std::vector<uint8_t>> outputs(count);
    std::vector<Vdapi::DriverRequestItem> items(count);
    for (size_t i = 0; i < count; ++i) {
        outputs[i].assign(rooms[i % 6], 0);
        items[i].output = outputs[i].empty() ? nullptr : outputs[i].data();
        items[i].outputCapacity = uint32_t(outputs[i].size());
    }
    // A copy of exactly `size` bytes, so reading past the answer is seen by the sanitizer.
    const std::vector<uint8_t> answer(data, data + size);
    if (!Vdapi::UnpackBatchReply(answer.data(), answer.size(), items)) return;
    if (count != claimed) __builtin_trap();
    size_t used = DW::kBatchCountSize;
    for (size_t i = 0; i < count; ++i) {
        if (items[i].returnedSize > items[i].outputCapacity) __builtin_trap();
        used += DW::kReplyHeaderSize + items[i].returnedSize;
        if (items[i].returnedSize > 0 &&
            std::memcmp(items[i].output, answer.data() + used - items[i].returnedSize, items[i].returnedSize) != 0)
            __builtin_trap();
    }
    if (used > size) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    splitRequest(data, size);
    handOutAnswer(data, size);
    return 0;
}
