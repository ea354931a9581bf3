// Halvix::App: the inventory brick as the JSON-RPC client sees it, with its two scan settings.
#pragma once

#include "app/DeviceReport.h"
#include "framework/App.h"

#include <atomic>
#include <memory>

namespace kel {
class JsonRpcClient;
}

namespace Halvix {

/// Application type "Halvix". It has nothing to start or stop: it always reports running. It
/// holds the scan settings, which start off with every process and live in memory only, and
/// registers the scan methods ("scanDevices", "enableDteDeviceScan", "enableNicDeviceScan") in
/// the client's method table.
class App : public kel::App {
public:
    /// Neither pointer is owned. `probe` decides whether a port is free (the availability probe
    /// in the program). The scan methods are registered in `client` (unless it is null), which
    /// must not be connected yet.
    App(kel::SharedLogger* logger, kel::JsonRpcClient* client, PortProbe probe);

    /// Always succeeds.
    bool start() override { return true; }
    void stop() override {}
    /// Always true.
    bool isRunning() override { return true; }

    /// Runs one scan with the settings as they are now, appending the entries to `list`.
    /// Throws what the scan throws; the entries appended before stay.
    void scanDevices(ReportList& list) const { settings_->scan(list); }

    /// Ethernet-attached devices join the scans when set.
    std::atomic<bool>& dteDeviceScanEnabled() { return settings_->dteEnabled; }
    /// The machine's network adapters join the scans when set.
    std::atomic<bool>& nicDeviceScanEnabled() { return settings_->nicEnabled; }

private:
    /// What the scan methods reach. The client's method table shares it, so a method that
    /// runs after the application is gone (a scheduled scan during an unusual stop) still
    /// finds it alive.
    struct ScanSettings {
        std::atomic<bool> dteEnabled{false};
        std::atomic<bool> nicEnabled{false};
        PortProbe probe;

        void scan(ReportList& list) const;
    };

    const std::shared_ptr<ScanSettings> settings_;
};

} // namespace Halvix
