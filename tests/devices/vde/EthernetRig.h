// Test fixture for the Ethernet-attached devices, run inside the test's private network namespace
// (tests/support/PrivateNetwork.h): the host side has two adapters (198.51.100.1 and .2) whose
// veth peers sit on a bridge in a second namespace holding the devices' addresses (.21, .22),
// where the simulator runs; the device service is reachable through the simulator's run directory.
#pragma once

#include "tests/support/PrivateNetwork.h"
#include "tests/support/SimHarness.h"
#include "tests/support/SimQuery.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <unistd.h>

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
        ASSERT_NO_FATAL_FAILURE(StartDeviceNetwork());
        const std::vector<std::string> inDevicesNamespace{"/usr/bin/nsenter", "-t", std::to_string(holder_->pid()),
                                                          "-n"};
        sim_ = std::make_unique<vdsim::test::SimProcess>(rig, inDevicesNamespace);
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
        holder_.reset();
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

    std::unique_ptr<vdsim::test::SimProcess> sim_;

private:
    /// The devices' namespace, kept alive by a process in it, with its bridge and the host adapters.
    void StartDeviceNetwork()
    {
        const std::vector<std::string> holder{"/usr/bin/unshare", "-n", "/bin/sleep", "infinity"};
        holder_ = std::make_unique<test::ChildProcess>(holder);
        ASSERT_TRUE(holder_->started()) << "the devices' namespace holder did not start";
        // The holder has entered its namespace once its net link differs from ours.
        auto netLink = [](const std::string& process) {
            char buf[128] = {};
            const ssize_t n = ::readlink(("/proc/" + process + "/ns/net").c_str(), buf, sizeof buf - 1);
            return n > 0 ? std::string(buf) : std::string();
        };
        const std::string ours = netLink("self"), pid = std::to_string(holder_->pid());
        ASSERT_TRUE(waitUntil([&] { return !netLink(pid).empty() && netLink(pid) != ours; }))
            << "the devices' namespace did not come up";
        test::ChildProcess setup({"/bin/sh", test::sourcePath("tests/support/device-network.sh"), pid},
                                 test::ChildProcess::Streams::Merged);
        ASSERT_EQ(setup.wait(std::chrono::seconds(30)), 0) << "network setup failed: " << setup.output();
    }

    std::unique_ptr<test::ChildProcess> holder_; // stopped after the simulator in it
};

} // namespace vdetest
