// Halvix::JsonRpcClient: the framework's client with Halvix's status, settings and scan methods.
#pragma once

#include "framework/JsonRpcClient.h"

#include <functional>

#include <shared_mutex>

namespace Halvix {

class App;

/// Status and settings are empty objects: every setting of Halvix lives in its scan methods.
/// Those ("scanDevices", "enableDteDeviceScan", "enableNicDeviceScan") are registered by the
/// constructor and reach the flags and the scan through the scan application, which
/// Halvix::App sets for its lifetime.
class JsonRpcClient : public kel::JsonRpcClient {
public:
    /// `logger` is not owned.
    explicit JsonRpcClient(kel::SharedLogger* logger);
    /// Stops every thread that could still call the overrides below.
    ~JsonRpcClient();

    /// {}.
    kel::Json getStatus() override;
    /// {}.
    kel::Json getSettings() override;

    /// The application the scan methods use; null (the default) makes them fail with an
    /// internal error. Not owned. Waits until no scan method uses the previous one, so an
    /// application may clear it and be destroyed while a scheduled scan is still running.
    void setScanApp(App* app);

private:
    /// Runs `use` with the scan application, which stays alive meanwhile; throws
    /// std::runtime_error while there is none.
    kel::Json withScanApp(const std::function<kel::Json(App&)>& use) const;

    mutable std::shared_mutex scanAppMutex_;  // held shared while a scan method uses scanApp_
    App* scanApp_ = nullptr;                  // guarded by scanAppMutex_
};

} // namespace Halvix
