// The simulated device service: its answers to commands, errors and malformed messages
// in-process against the reference rig (the replies' layouts are GoldenRecords), and what only
// its pipe does: both header forms, goodbye, a connection ended by an absurd length. The shared
// list, the service's version, its stop and start and the faults injected into it are met
// through the device layer in tests/devices/vde/VdeSvcClientTests.cpp.
#include "tests/support/SimHarness.h"

#include "base/WireBytes.h"
#include "sim/ServiceHandler.h"

#include <gtest/gtest.h>

namespace vdsim::test {
namespace {

using Vdapi::Wire::getI64;
using Vdapi::Wire::getU32;

uint32_t resultOf(const std::vector<uint8_t>& reply) { return reply.size() >= 8 ? getU32(reply.data() + 4) : 0xFFFFFFFFu; }

/// A property request (command 1 or 7): name at 4, type at 56, `field60` at 60, port + 1 at 68.
std::vector<uint8_t> serviceProperty(int32_t command, const std::string& name, int32_t type, int32_t field60,
                                     int32_t portPlusOne)
{
    std::vector<uint8_t> out(72, 0);
    Vdapi::Wire::putI32(out.data(), command);
    std::copy(name.begin(), name.end(), out.begin() + 4);
    Vdapi::Wire::putI32(out.data() + 56, type);
    Vdapi::Wire::putI32(out.data() + 60, field60);
    Vdapi::Wire::putI32(out.data() + 68, portPlusOne);
    return out;
}

TEST(Service, AnswersErrorsAndMalformedMessages)
{
    SimState state(loadRigFile(VdapiTest::ReferenceRig()));
    std::vector<uint8_t> ten(304, 0);
    ten[0] = 10;
    struct Row {
        const char* what;
        std::vector<uint8_t> request;
        size_t size;
        uint32_t result;
        int64_t value = -1; // the numeric reply's value at 8; -1: not read
    };
    const Row rows[] = {
        {"port count", serviceProperty(1, "PORT_COUNT", 3137, 3, 0), 24, 0, 4},
        {"capability of a port", serviceProperty(1, "CAP_SWS2APSK", 3124, 2, 2), 24, 0, 1},
        {"absent capability", serviceProperty(1, "CAP_MOD", 3137, 3, 1), 24, 4118},
        {"port outside", serviceProperty(1, "CAP_ASI", 3137, 3, 9), 24, 4143},
        {"channel-layer command 10", ten, 8, 0},
        {"a command's words and one more", words({0, 0}), 8, 4140},
        {"unknown command", words({77}), 8, 4119},
        {"shorter than a command", {1, 2}, 8, 4140},
        {"empty", {}, 8, 4140},
        {"name without end", serviceProperty(1, std::string(52, 'X'), 3137, 3, 0), 24, 4140},
    };
    for (const Row& row : rows) {
        const ServiceAnswer answer = answerServiceRequest(state, row.request, 1);
        ASSERT_TRUE(answer.hasReply) << row.what;
        EXPECT_EQ(answer.reply.size(), row.size) << row.what;
        EXPECT_EQ(resultOf(answer.reply), row.result) << row.what;
        if (row.value >= 0) {
            EXPECT_EQ(getI64(answer.reply.data() + 8), row.value) << row.what;
        }
    }
}

TEST(ServicePipe, BothHeaderFormsGoodbyeAndAnAbsurdLength)
{
    START_SIM(sim, VdapiTest::ReferenceRig());
    ServiceConnection c(sim.pipePath());
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.call(words({0})).size(), 24u);
    // A long-header message (70000 bytes, beyond any command) is framed correctly and refused by size.
    const std::vector<uint8_t> big = c.call(std::vector<uint8_t>(70000, 0));
    ASSERT_EQ(big.size(), 8u);
    EXPECT_EQ(resultOf(big), 4140u);
    // Goodbye has no answer; the next request on the same pipe is still served.
    ASSERT_TRUE(c.send(words({-1})));
    EXPECT_EQ(c.call(words({0})).size(), 24u);

    // An absurd announced length closes that pipe connection only: the header of a payload of
    // 0x7FFFFFF0 bytes, without the payload.
    UniqueFd raw = connectUnix(sim.pipePath());
    const uint8_t header[8] = {0xFF, 0xFF, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F};
    ASSERT_TRUE(writeFull(raw.get(), header, sizeof header, -1));
    char byte;
    EXPECT_FALSE(readFull(raw.get(), &byte, 1, -1, 10000));
    EXPECT_EQ(c.call(words({0})).size(), 24u);
}

} // namespace
} // namespace vdsim::test
