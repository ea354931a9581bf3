// The fixture of the tests that need the real process and wire: a GUI server on its own loopback
// address and the real halvix dialling it.
#pragma once

#include "HalvixProcess.h"

#include "tools/gui/GuiServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace integration {

class GuiAndHalvix : public ::testing::Test {
protected:
    static gui::GuiServer::Deadline soon() { return gui::GuiServer::in(std::chrono::seconds(20)); }

    /// GUI server on `address` (its kernel receive buffer `receiveBuffer` bytes; 0: the default),
    /// halvix started against it with `extra` arguments, connection accepted and announcement read.
    void connect(const std::string& address, const std::vector<std::string>& extra = {}, int receiveBuffer = 0)
    {
        server = std::make_unique<gui::GuiServer>(address);
        server->setReceiveBufferSize(receiveBuffer);
        const gui::GuiResult listening = server->listen();
        ASSERT_TRUE(listening) << listening.message;
        std::vector<std::string> arguments = {"--server_address", address};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        halvix = std::make_unique<HalvixProcess>(arguments);
        ASSERT_TRUE(halvix->started());
        const gui::GuiResult accepted = server->accept(soon());
        ASSERT_TRUE(accepted) << accepted.message << "\n" << halvix->output();
        const gui::GuiResult hello = server->nextNotification("newConnection", soon());
        ASSERT_TRUE(hello) << hello.message;
        announcement = hello.value["params"];
    }

    /// The whole reply to a request: `value`, and `text` as it arrived.
    gui::GuiResult call(const std::string& method, const nlohmann::json& params = nlohmann::json::object(),
                        std::chrono::seconds deadline = std::chrono::seconds(20))
    {
        gui::GuiResult reply = server->call(method, params, gui::GuiServer::in(deadline));
        EXPECT_TRUE(reply) << method << ": " << reply.message << "\n" << halvix->output();
        return reply;
    }

    void quitAndExpectExitCode0()
    {
        ASSERT_TRUE(server->sendNotification("quit"));
        EXPECT_TRUE(server->waitDisconnected(soon()));
        EXPECT_EQ(halvix->wait(), 0) << halvix->output();
    }

    std::unique_ptr<gui::GuiServer> server;
    std::unique_ptr<HalvixProcess> halvix;
    nlohmann::json announcement; // the params of its "newConnection"
};

} // namespace integration
