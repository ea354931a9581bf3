// The simulated device service driven over its pipe by hand: framing, commands and malformed
// messages. The shared list, the service's version, its stop and start and the faults injected
// into it are met through the device layer in tests/devices/vde/VdeSvcClientTests.cpp.
#include "tests/support/SimHarness.h"

#include "base/WireBytes.h"
#include "devices/vde/ServiceProtocol.h"

#include <gtest/gtest.h>

namespace vdsim::test {
namespace {

using Vdapi::Wire::getI64;
using Vdapi::Wire::getU32;


class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.ready()) << sim_.output(); }
    SimProcess sim_{kReferenceRig};
};

uint32_t resultOf(const std::vector<uint8_t>& reply) { return reply.size() >= 8 ? getU32(reply.data() + 4) : 0xFFFFFFFFu; }

TEST_F(ServiceTest, VersionListNamesAndPropertyCommands)
{
    ServiceConnection c(sim_.pipePath());
    ASSERT_TRUE(c.connected());
    // The replies' layouts are GoldenRecords.ServicePipeFramingRepliesAndListEntry; here they
    // come through the pipe's framing with the reference rig's values.
    auto v = c.call(words({0}));
    ASSERT_EQ(v.size(), 24u);
    EXPECT_EQ(resultOf(v), 0u);
    EXPECT_EQ(c.call(words({2})).size(), 408u);

    auto ports = c.call(serviceProperty(1, "PORT_COUNT", 3137, 3, 0));
    ASSERT_EQ(ports.size(), 24u);
    EXPECT_EQ(resultOf(ports), 0u);
    EXPECT_EQ(getI64(&ports[8]), 4);
    auto cap = c.call(serviceProperty(1, "CAP_SWS2APSK", 3124, 2, 2));
    EXPECT_EQ(resultOf(cap), 0u);
    EXPECT_EQ(getI64(&cap[8]), 1);
    auto missing = c.call(serviceProperty(1, "CAP_MOD", 3137, 3, 1));
    ASSERT_EQ(missing.size(), 24u);
    EXPECT_EQ(resultOf(missing), 4118u);
    EXPECT_EQ(resultOf(c.call(serviceProperty(1, "CAP_ASI", 3137, 3, 9))), 4143u);

    // The text property's reply is GoldenRecords.ServicePipeCommandRequestsAndReplies, a rig
    // device's text VdeServiceTest.NumericAndStringProperties.
    // Refresh, and the channel-layer commands answered with their sizes.
    EXPECT_EQ(c.call(words({11})).size(), 8u);
    auto attach = c.call(words({4, 0, 0, 0, 0, 0}));
    EXPECT_EQ(attach.size(), 16u);
    std::vector<uint8_t> ten(304, 0);
    ten[0] = 10;
    EXPECT_EQ(c.call(ten).size(), 8u);
    // Goodbye has no answer; the next request on the same pipe is still served.
    ASSERT_TRUE(c.send(words({-1})));
    EXPECT_EQ(c.call(words({0})).size(), 24u);
}

TEST_F(ServiceTest, BadMessagesAreAnsweredOrDropped)
{
    ServiceConnection c(sim_.pipePath());
    auto wrongSize = c.call(words({0, 0}));
    ASSERT_EQ(wrongSize.size(), 8u);
    EXPECT_EQ(resultOf(wrongSize), 4140u);
    EXPECT_EQ(resultOf(c.call(words({77}))), 4119u);
    EXPECT_EQ(resultOf(c.call({1, 2})), 4140u);
    EXPECT_EQ(resultOf(c.call({})), 4140u);
    std::vector<uint8_t> unterminated = serviceProperty(1, std::string(52, 'X'), 3137, 3, 0);
    EXPECT_EQ(resultOf(c.call(unterminated)), 4140u);
    // A long-header message (70000 bytes) is framed correctly and refused by size.
    std::vector<uint8_t> big(70000, 0);
    auto bigReply = c.call(big);
    ASSERT_EQ(bigReply.size(), 8u);
    EXPECT_EQ(resultOf(bigReply), 4140u);
    EXPECT_EQ(c.call(words({0})).size(), 24u);

    // An absurd announced length closes that pipe connection only.
    ServiceConnection other(sim_.pipePath());
    ASSERT_TRUE(other.connected());
    // The header of a payload of 0x7FFFFFF0 bytes, without the payload.
    UniqueFd raw = connectUnix(sim_.pipePath());
    const uint8_t header[8] = {0xFF, 0xFF, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F};
    ASSERT_TRUE(writeFull(raw.get(), header, sizeof header, -1));
    char byte;
    EXPECT_FALSE(readFull(raw.get(), &byte, 1, -1, 10000));
    EXPECT_EQ(other.call(words({0})).size(), 24u);
}

} // namespace
} // namespace vdsim::test
