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
        App& app = scanApp();
        return answerScanDevices(request, [&app](ReportList& list) { app.scanDevices(list); }, this->logger());
    });
    addMethod("enableDteDeviceScan", [this](const kel::Json& request) {
        return answerEnableScan(request, "dteDeviceScanEnabled", scanApp().dteDeviceScanEnabled);
    });
    addMethod("enableNicDeviceScan", [this](const kel::Json& request) {
        return answerEnableScan(request, "nicDeviceScanEnabled", scanApp().nicDeviceScanEnabled);
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

App& JsonRpcClient::scanApp() const
{
    App* app = scanApp_.load();
    if (!app)
        throw std::runtime_error("the scan application is not running");
    return *app;
}

} // namespace Halvix
