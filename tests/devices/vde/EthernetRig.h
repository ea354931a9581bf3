// Test fixture for the Ethernet-attached devices: a private network with the simulator's
// devices on one side, the device service reachable through the simulator's run directory.
#pragma once

#include "tests/support/PrivateNetwork.h"
#include "tests/devices/vde/DeviceNetwork.h"
#include "tests/support/SimHarness.h"
#include "tests/support/SimQuery.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace vdetest {

inline constexpr int64_t kGateway = 3137000042; // 198.51.100.21, 4 ports (3 output, 4 double-buffered)
inline constexpr int64_t kDemod = 3124000043;   // 198.51.100.22, 2 input-only demodulator ports

inline std::string EthernetRigPath()
{
    return std::string(HALVIX_SOURCE_DIR) + "/tests/devices/vde/rigs/ethernet.json";
}

class EthernetRig : public ::testing::Test {
protected:
    /// Builds the network and starts the simulator in the devices' namespace.
    void StartRig(const std::string& rig = EthernetRigPath())
    {
        net_ = std::make_unique<DeviceNetwork>();
        ASSERT_TRUE(net_->ok()) << net_->error();
        sim_ = std::make_unique<vdsim::test::SimProcess>(rig, net_->launcher());
        ASSERT_TRUE(sim_->ready()) << sim_->output();
        sim_->exportRunDir();
        ASSERT_EQ(sim_->control("vde bound"), "ok 2 " + std::to_string(kGateway) + " " + std::to_string(kDemod));
    }
    void TearDown() override
    {
        if (sim_) {
            EXPECT_EQ(sim_->terminate(), 0) << sim_->output();
        }
        sim_.reset();
        net_.reset();
    }

    /// Runs a control command that must succeed; returns its reply.
    std::string Control(const std::string& line)
    {
        const std::string reply = sim_->control(line);
        EXPECT_EQ(reply.rfind("ok", 0), 0u) << line << " -> " << reply;
        return reply;
    }
    /// Counter of one request kind (0 when never counted).
    uint64_t Counter(const std::string& kind) { return VdapiTest::Counters(*sim_)[kind]; }

    std::unique_ptr<DeviceNetwork> net_;
    std::unique_ptr<vdsim::test::SimProcess> sim_;
};

} // namespace vdetest
