// Halvix::App construction and its scan.
#include "app/App.h"

#include "app/DeviceScan.h"
#include "app/JsonRpcClient.h"

namespace Halvix {

App::App(kel::SharedLogger* logger, JsonRpcClient* client, PortProbe probe)
    : kel::App("Halvix", logger, client), scanClient_(client), probe_(std::move(probe))
{
    if (scanClient_)
        scanClient_->setScanApp(this);
}

App::~App()
{
    if (scanClient_)
        scanClient_->setScanApp(nullptr);
}

void App::scanDevices(ReportList& list)
{
    // The settings are read once, as the scan starts.
    Halvix::scanDevices(list, dteDeviceScanEnabled.load(), nicDeviceScanEnabled.load(), probe_);
}

} // namespace Halvix
