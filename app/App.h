// Halvix::App: the inventory brick as the JSON-RPC client sees it, with its two scan settings.
#pragma once

#include "app/DeviceReport.h"
#include "framework/App.h"

#include <atomic>

namespace Halvix {

class JsonRpcClient;

/// Application type "Halvix". It has nothing to start or stop: it always reports running. It
/// holds the scan settings, which start off with every process and live in memory only.
class App : public kel::App {
public:
    /// Neither pointer is owned. `probe` decides whether a port is free (the availability probe
    /// in the program). The application makes itself the client's scan application until it
    /// is destroyed.
    App(kel::SharedLogger* logger, JsonRpcClient* client, PortProbe probe);
    ~App() override;

    /// Always succeeds.
    bool start() override { return true; }
    void stop() override {}
    /// Always true.
    bool isRunning() override { return true; }

    /// Runs one scan with the settings as they are now, appending the entries to `list`.
    /// Throws what the scan throws; the entries appended before stay.
    void scanDevices(ReportList& list);

    /// Ethernet-attached devices join the scans when set.
    std::atomic<bool> dteDeviceScanEnabled{false};
    /// The machine's network adapters join the scans when set.
    std::atomic<bool> nicDeviceScanEnabled{false};

private:
    JsonRpcClient* const scanClient_;
    const PortProbe probe_;
};

} // namespace Halvix
