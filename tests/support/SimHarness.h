// Test harness for the simulator: runs the real vdsim binary in a private run directory and
// talks to its driver sockets, service pipe and control socket by hand.
#pragma once

#include "sim/SocketIo.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SimProcess.h"
#include "tests/support/SimQuery.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace vdsim::test {

/// PCIe interface indices of the reference rig's cards.
constexpr int kPcie2144 = 0, kPcie2160 = 7;

/// One vdsim process serving a rig (the tests' shared one); any other program run to its end.
using ::test::ChildProcess;
using ::test::SimProcess;

/// A test against vdsim serving the reference rig, with the device layer pointed at it.
class ReferenceSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim_.ready()) << sim_.output();
        sim_.exportRunDir();
    }
    void TearDown() override { ::unsetenv("VDAPI_RUN_DIR"); }

    SimProcess sim_{VdapiTest::ReferenceRig()};
};

struct DriverAnswer {
    bool ok = false; ///< false when the exchange itself broke (closed, bad reply header)
    uint32_t error = 0;
    std::vector<uint8_t> output;
};

/// One open driver handle.
class DriverConnection {
public:
    explicit DriverConnection(const std::string& path);
    bool connected() const { return bool(fd_); }
    int fd() const { return fd_.get(); }
    DriverAnswer request(uint32_t code, const std::vector<uint8_t>& input, uint32_t outputCapacity = 4096);
    /// Sends a request without waiting for its reply.
    bool send(uint32_t code, const std::vector<uint8_t>& input, uint32_t outputCapacity);
    /// Sends raw bytes (malformed requests).
    bool sendRaw(const std::vector<uint8_t>& bytes);
    /// Reads one reply after send or sendRaw.
    DriverAnswer readReply();
    /// True when the simulator closed the connection (end of stream within the deadline).
    bool closedByPeer(int deadlineMs = 10000);

private:
    UniqueFd fd_;
};

/// One connection to the device-service pipe, with the service framing.
class ServiceConnection {
public:
    explicit ServiceConnection(const std::string& path);
    bool connected() const { return bool(fd_); }
    bool send(const std::vector<uint8_t>& payload);
    /// Receives one message; false when none arrives within `deadlineMs` or the pipe closed.
    bool receive(std::vector<uint8_t>& payload, int deadlineMs = 10000);
    /// Sends and receives one message.
    std::vector<uint8_t> call(const std::vector<uint8_t>& payload);

private:
    UniqueFd fd_;
};

/// Little builders for request bytes.
std::vector<uint8_t> plainHeader();
std::vector<uint8_t> words(std::initializer_list<int32_t> values);

} // namespace vdsim::test
