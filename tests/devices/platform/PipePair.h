// A listener of ours and a client connected to it, the two ends of one pipe ready for traffic.
#pragma once

#include "PlatformTestObjects.h" // posix/ or windows/, chosen by the build

#include "devices/platform/Xp.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace Vdapi::PlatformTest {

class PipePair : public ::testing::Test {
protected:
    void connectPair(const std::string& name)
    {
        listener = Xp::NewPipeListener();
        ASSERT_TRUE(listener);
        ASSERT_EQ(VDAPI_OK, listener->Create(name.c_str()));
        client = Xp::NewPipeConnection();
        ASSERT_TRUE(client);
        ASSERT_EQ(VDAPI_OK, client->Init());
        ASSERT_EQ(VDAPI_OK, client->Connect(name.c_str()));
        ASSERT_EQ(VDAPI_OK, listener->Accept(server, 20000));
        ASSERT_TRUE(server);
    }

    ObjectNames names; // first: the run directory outlives the pipes
    std::unique_ptr<IXpPipeListener> listener;
    std::unique_ptr<IXpPipeConnection> client;
    std::unique_ptr<IXpPipeConnection> server;
};

} // namespace Vdapi::PlatformTest
