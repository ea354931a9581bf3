// Halvix::JsonRpcClient: empty status and settings, and the scan methods.
#include "app/JsonRpcClient.h"

#include "app/App.h"
#include "app/ScanMethods.h"
#include "log/SharedLogger.h"

#include <stdexcept>

namespace Halvix {

JsonRpcClient::JsonRpcClient(kel::SharedLogger* logger)
    : kel::JsonRpcClient(logger)
{
    addMethod("scanDevices", [this](const kel::Json& request) {
        return withScanApp([&](App& app) {
            return answerScanDevices(request, [&app](ReportList& list) { app.scanDevices(list); }, this->logger());
        });
    });
    addMethod("enableDteDeviceScan", [this](const kel::Json& request) {
        return withScanApp([&](App& app) {
            return answerEnableScan(request, "dteDeviceScanEnabled", app.dteDeviceScanEnabled);
        });
    });
    addMethod("enableNicDeviceScan", [this](const kel::Json& request) {
        return withScanApp([&](App& app) {
            return answerEnableScan(request, "nicDeviceScanEnabled", app.nicDeviceScanEnabled);
        });
    });
}

JsonRpcClient::~JsonRpcClient()
{
    shutdown();
}

kel::Json JsonRpcClient::getStatus()
{
    return kel::Json::object();
}

kel::Json JsonRpcClient::getSettings()
{
    return kel::Json::object();
}

void JsonRpcClient::setScanApp(App* app)
{
    std::unique_lock lock(scanAppMutex_);
    scanApp_ = app;
}

kel::Json JsonRpcClient::withScanApp(const std::function<kel::Json(App&)>& use) const
{
    std::shared_lock lock(scanAppMutex_);
    if (!scanApp_)
        throw std::runtime_error("the scan application is not running");
    return use(*scanApp_);
}

} // namespace Halvix
