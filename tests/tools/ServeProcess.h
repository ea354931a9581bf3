// Runs `halvixctl serve` as a child process for a test or a benchmark and talks to its API
// with an HTTP client; every wait has a deadline.
#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/WaitUntil.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace test {

/// One answer of the API: the HTTP status (-1 when no answer came), the body and its JSON.
struct ApiReply {
    int status = -1;
    std::string body;
    nlohmann::json json; // discarded when the body is not JSON
};

class ServeProcess {
public:
    /// Starts halvixctl serve listening for bricks on `address` and for HTTP on `address`:`httpPort`,
    /// with `extra` arguments; `ready()` tells whether it came up.
    ServeProcess(const std::string& address, int httpPort, const std::vector<std::string>& extra = {})
        : address_(address), port_(httpPort)
    {
        std::vector<std::string> arguments = {"serve", "--address", address, "--http",
                                              address + ":" + std::to_string(httpPort)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        process_ = std::make_unique<ChildProcess>(HALVIXCTL_BIN, arguments);
        ready_ = process_->waitForStderr("serving the page and the API on", std::chrono::seconds(20));
    }
    ~ServeProcess() { process_->terminate(); }

    bool ready() const { return ready_; }
    /// Stops it with SIGTERM; its exit code (0 for an orderly stop, -1 when it had to be killed).
    int stop() { return process_->terminate(); }
    ChildProcess& process() { return *process_; }
    std::string url(const std::string& path = "/") const
    {
        return "http://" + address_ + ":" + std::to_string(port_) + path;
    }

    /// Sends one request; `body` is sent as is (with a Content-Length), also when empty.
    ApiReply request(const std::string& method, const std::string& path, const std::string& body = "",
                     std::chrono::seconds timeout = std::chrono::seconds(300)) const
    {
        httplib::Client client(address_, port_);
        client.set_connection_timeout(std::chrono::seconds(10));
        client.set_read_timeout(timeout);
        httplib::Result result = method == "GET"    ? client.Get(path)
                                 : method == "POST" ? client.Post(path, body, "application/json")
                                                    : client.Delete(path, body, "application/json");
        ApiReply reply;
        if (!result)
            return reply;
        reply.status = result->status;
        reply.body = result->body;
        reply.json = nlohmann::json::parse(reply.body, nullptr, false);
        return reply;
    }
    ApiReply get(const std::string& path) const { return request("GET", path); }
    ApiReply post(const std::string& path, const std::string& body = "") const { return request("POST", path, body); }

    /// Polls GET /api/bricks until `condition` holds for the list; the last list either way, and a
    /// test failure when the condition never held.
    nlohmann::json waitForBricks(const std::function<bool(const nlohmann::json&)>& condition,
                                 std::chrono::seconds timeout = std::chrono::seconds(30)) const
    {
        nlohmann::json bricks;
        const bool met = waitUntil([&] {
            bricks = get("/api/bricks").json;
            return bricks.is_array() && condition(bricks);
        }, timeout);
        EXPECT_TRUE(met) << "the brick list never became what the test waits for: " << bricks.dump();
        return bricks;
    }

private:
    std::string address_;
    int port_;
    std::unique_ptr<ChildProcess> process_;
    bool ready_ = false;
};

} // namespace test
