// Halvix::App construction, its scan methods and its scan.
#include "app/App.h"

#include "app/DeviceScan.h"
#include "app/ScanMethods.h"
#include "framework/JsonRpcClient.h"
#include "log/SharedLogger.h"

namespace Halvix {

App::App(kel::SharedLogger* logger, kel::JsonRpcClient* client, PortProbe probe)
    : kel::App("Halvix", logger, client), settings_(std::make_shared<ScanSettings>())
{
    settings_->probe = std::move(probe);
    if (!client || !logger)
        return;
    std::shared_ptr<const ScanSettings> settings = settings_;
    client->addMethod("scanDevices", [settings, logger](const kel::Json& request) {
        return answerScanDevices(request, [&settings](ReportList& list) { settings->scan(list); }, *logger);
    });
    std::shared_ptr<ScanSettings> flags = settings_;
    client->addMethod("enableDteDeviceScan", [flags](const kel::Json& request) {
        return answerEnableScan(request, "dteDeviceScanEnabled", flags->dteEnabled);
    });
    client->addMethod("enableNicDeviceScan", [flags](const kel::Json& request) {
        return answerEnableScan(request, "nicDeviceScanEnabled", flags->nicEnabled);
    });
}

void App::ScanSettings::scan(ReportList& list) const
{
    // The settings are read once, as the scan starts.
    Halvix::scanDevices(list, dteEnabled.load(), nicEnabled.load(), probe);
}

} // namespace Halvix
