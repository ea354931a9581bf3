// Driver requests every family sends the same way: one checked call, a batch of property
// requests, and one name-based I/O-configuration record.
#pragma once

#include "devices/DriverRequests.h"
#include "devices/VdapiResult.h"
#include "devices/platform/IXpDriver.h"

#include <cstdint>
#include <functional>
#include <span>

namespace Vdapi {

/// Sends one request whose answer must hold at least minOutput bytes. Returns the request's
/// result, or VDAPI_E_COMMUNICATION when the answer is shorter than minOutput.
VdResult DriverCall(IXpDriver& driver, uint32_t code, const void* input, uint32_t inputSize, void* output,
                    uint32_t outputCapacity, uint32_t minOutput, uint32_t* returned = nullptr);

/// One property request per query, handed to the driver together (IXpDriver::RequestBatch).
/// encode(query, bytes) writes a request of requestSize bytes, or returns false for a name that
/// does not fit (that query gets VDAPI_E_BUF_TOO_SMALL and is not sent). Without a driver (null:
/// the handle is not open) the others get VDAPI_E_DEV_DRIVER. Each answer must hold a property
/// reply, else VDAPI_E_COMMUNICATION. values[i] is 0 unless results[i] is a success.
void RequestProperties(IXpDriver* driver, uint32_t code, size_t requestSize,
                       std::span<const DriverProtocol::PropertyQuery> queries, std::span<uint64_t> values,
                       std::span<VdResult> results,
                       const std::function<bool(const DriverProtocol::PropertyQuery&, uint8_t*)>& encode);

/// Asks a legacy-style driver (legacy PCI, USB) for one name-based I/O-configuration record: a
/// u32 record count of 1, the record, and one reply record decoded into `item`. Returns the
/// request's result; `item` is unchanged on failure.
VdResult RequestOneIoRecord(IXpDriver& driver, uint32_t code, DriverProtocol::IoConfigItem& item);

} // namespace Vdapi
