// The scan service's JSON-RPC methods: "scanDevices", "enableDteDeviceScan" and
// "enableNicDeviceScan", as functions of the request that return the whole reply.
#pragma once

#include "app/DeviceReport.h"
#include "base/json/JsonRpcMessage.h"

#include <atomic>
#include <functional>
#include <string>

class ILogger;

namespace Halvix {

/// Runs one scan, appending entries to the list; may throw.
using ScanFunction = std::function<void(ReportList&)>;

/// Text that starts the Error line of a failed scan; the exception's text follows.
inline constexpr const char* kScanFailedText = "Failed to scan devices. Error: ";

/// Reply to "scanDevices": the entries `scan` appended, as an array. A std::exception from the
/// scan is logged at level Error with an empty source and the entries gathered so far are sent;
/// anything else thrown passes on.
kel::Json answerScanDevices(const kel::Json& request, const ScanFunction& scan, ILogger& logger);

/// Reply to an enable method: stores params.`key` (a boolean) in `flag` and answers its new
/// value. Throws std::invalid_argument, leaving `flag` as it was, when "params" is not an
/// object or `key` is missing or not a boolean.
kel::Json answerEnableScan(const kel::Json& request, const std::string& key, std::atomic<bool>& flag);

} // namespace Halvix
