// Halvix::JsonRpcClient: the framework's client with Halvix's status and settings.
#pragma once

#include "framework/JsonRpcClient.h"

namespace Halvix {

/// Status and settings are empty objects: every setting of Halvix lives in its scan
/// methods. Those ("scanDevices", "enableDteDeviceScan", "enableNicDeviceScan") are
/// registered by the scan service through addMethod once the device report exists; until
/// then a GUI asking for them gets "Method not found".
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
};

} // namespace Halvix
