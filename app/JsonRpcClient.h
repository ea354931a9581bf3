// Halvix::JsonRpcClient: the framework's client with Halvix's status, settings and scan methods.
#pragma once

#include "framework/JsonRpcClient.h"

#include <atomic>

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
    /// internal error. Not owned.
    void setScanApp(App* app) { scanApp_.store(app); }

private:
    /// The scan application; throws std::runtime_error while there is none.
    App& scanApp() const;

    std::atomic<App*> scanApp_{nullptr};
};

} // namespace Halvix
