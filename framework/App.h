// kel::App: what every brick of the system is to the JSON-RPC client that drives it.
#pragma once

#include "framework/IJsonRpcNotificationListener.h"
#include "framework/Sender.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace kel {

class JsonRpcClient;
class SharedLogger;

/// A brick application: a type name, a quit flag that ends the process, the last CPU mask
/// applied, and the start/stop operations the GUI drives through "start" and "stop".
/// Listeners attached to it receive the notifications it emits.
class App : public Sender<IJsonRpcNotificationListener> {
public:
    /// Neither pointer is owned; both objects must outlive the application.
    App(std::string appType, SharedLogger* logger, JsonRpcClient* client);
    ~App() override = default;

    /// Returns whether the application could start.
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() = 0;

    const std::string& appType() const { return appType_; }
    SharedLogger* logger() const { return logger_; }
    JsonRpcClient* client() const { return client_; }

    /// True once "quit" was received; never cleared.
    bool quitRequested() const { return quitRequested_.load(); }
    void requestQuit() { quitRequested_.store(true); }

    /// The last mask given to "setCpuMask" (all ones until then), whether or not it applied.
    uint64_t cpuMask() const { return cpuMask_.load(); }
    void setCpuMask(uint64_t mask) { cpuMask_.store(mask); }

private:
    const std::string appType_;
    SharedLogger* const logger_;
    std::atomic<bool> quitRequested_{false};   // written by the "quit" handler, polled by main
    std::atomic<uint64_t> cpuMask_{~uint64_t(0)};
    JsonRpcClient* const client_;
};

} // namespace kel
