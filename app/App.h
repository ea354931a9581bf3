// Halvix::App: the inventory brick as the JSON-RPC client sees it.
#pragma once

#include "framework/App.h"

namespace Halvix {

class JsonRpcClient;

/// Application type "Halvix". It has nothing to start or stop: it always reports running.
class App : public kel::App {
public:
    /// Neither pointer is owned.
    App(kel::SharedLogger* logger, JsonRpcClient* client);

    /// Always succeeds.
    bool start() override { return true; }
    void stop() override {}
    /// Always true.
    bool isRunning() override { return true; }
};

} // namespace Halvix
