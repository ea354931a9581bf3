// A JSON-RPC client and application for unit tests: the client keeps the notifications it is
// asked to send instead of queueing them for a connection.
#pragma once

#include "framework/App.h"
#include "framework/JsonRpcClient.h"
#include "log/SharedLogger.h"

#include "tests/log/CapturingLogger.h"
#include "tests/support/WaitUntil.h"

#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

class TestClient : public kel::JsonRpcClient {
public:
    using kel::JsonRpcClient::JsonRpcClient;
    ~TestClient() { shutdown(); }

    kel::Json getStatus() override { return {{"state", "fine"}}; }
    kel::Json getSettings() override { return {{"answer", 42}}; }

    void onNotification(const kel::Json& notification) override
    {
        std::lock_guard lock(mutex_);
        notifications_.push_back(notification);
    }

    /// Params of the notifications named `method` so far.
    std::vector<kel::Json> notifications(const std::string& method) const
    {
        std::lock_guard lock(mutex_);
        std::vector<kel::Json> out;
        for (const auto& n : notifications_) {
            if (n.value("method", "") == method)
                out.push_back(n.value("params", kel::Json()));
        }
        return out;
    }

    /// Waits up to 10 s for `count` notifications named `method`; returns their params.
    std::vector<kel::Json> waitFor(const std::string& method, size_t count)
    {
        waitUntil([&] { return notifications(method).size() >= count; });
        return notifications(method);
    }

private:
    mutable std::mutex mutex_;
    std::vector<kel::Json> notifications_;
};

class TestApp : public kel::App {
public:
    using kel::App::App;
    bool start() override { ++starts; return startResult; }
    void stop() override { ++stops; running = false; }
    bool isRunning() override { return running; }

    // Only touched under the client's start/stop mutex or after the handlers returned.
    bool startResult = true;
    bool running = true;
    int starts = 0;
    int stops = 0;
};

/// Logger, client and application wired as the entry point does, with a captured log.
class ClientFixture {
public:
    ClientFixture()
    {
        logger.composite().add(&captured);
        client.setApp(&app);
    }
    ~ClientFixture() { client.shutdown(); }

    /// Sends a request with id 1 and returns the reply (null when none).
    kel::Json call(const std::string& method, const kel::Json& params = kel::Json())
    {
        kel::Json request = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}};
        if (!params.is_null())
            request["params"] = params;
        auto reply = client.process(request.dump());
        return reply ? *reply : kel::Json();
    }

    CapturingLogger captured;
    std::ostringstream console;
    kel::SharedLogger logger{"TestLogger", console, true};
    TestClient client{&logger};
    TestApp app{"TestApp", &logger, &client};
};

} // namespace testing_support
