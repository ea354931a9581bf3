// The scan methods' replies.
#include "app/ScanMethods.h"

#include "log/ILogger.h"
#include "log/LogMessage.h"

#include <exception>

namespace Halvix {

kel::Json answerScanDevices(const kel::Json& request, const ScanFunction& scan, ILogger& logger)
{
    ReportList list;
    try {
        scan(list);
    } catch (const std::exception& e) {
        logger.log(LogMessage(LogLevel::Error, std::string(kScanFailedText) + e.what(), ""));
    }
    kel::Json result = kel::Json::array();
    for (kel::Json& entry : list)
        result.push_back(std::move(entry));
    return kel::makeResult(kel::requestId(request), result);
}

kel::Json answerEnableScan(const kel::Json& request, const std::string& key, std::atomic<bool>& flag)
{
    const kel::Json params = kel::getTypedMember(request, "params", kel::JsonType::Object);
    const kel::Json value = kel::getTypedMember(params, key, kel::JsonType::Bool);
    flag.store(value.get<bool>());
    return kel::makeResult(kel::requestId(request), kel::Json(flag.load()));
}

} // namespace Halvix
