// The simulated device service: pipe framing and commands, the shared-memory list under its
// named mutex, and the faults the control socket injects into both.
#include "tests/support/SimHarness.h"

#include "base/WireBytes.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/vde/ServiceProtocol.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vdsim::test {
namespace {

namespace SP = Vdapi::ServiceProtocol;
using Vdapi::Wire::getI32;
using Vdapi::Wire::getI64;
using Vdapi::Wire::getU32;


class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.ready()) << sim_.output(); }
    SimProcess sim_{kReferenceRig};
};

uint32_t resultOf(const std::vector<uint8_t>& reply) { return reply.size() >= 8 ? getU32(reply.data() + 4) : 0xFFFFFFFFu; }

/// Reads the shared list the way the device layer does: mutex file, then the mapping.
struct ListView {
    uint32_t version = 0;
    int32_t count = 0;
    std::vector<SP::VdeListEntry> entries; // the first min(count, 512) entries
    bool ok = false;
};

ListView readList(const std::string& runDir, const std::string& mutexName, const std::string& listName)
{
    ListView v;
    int mfd = ::open((runDir + "/mutex/" + mutexName).c_str(), O_RDWR | O_CLOEXEC);
    int lfd = ::open((runDir + "/shm/" + listName).c_str(), O_RDONLY | O_CLOEXEC);
    if (mfd >= 0 && lfd >= 0) {
        void* m = ::mmap(nullptr, sizeof(Vdapi::RunDir::NamedMutexFile), PROT_READ | PROT_WRITE, MAP_SHARED, mfd, 0);
        void* l = ::mmap(nullptr, SP::kListMappedSize, PROT_READ, MAP_SHARED, lfd, 0);
        if (m != MAP_FAILED && l != MAP_FAILED) {
            auto* file = static_cast<Vdapi::RunDir::NamedMutexFile*>(m);
            if (file->ready == Vdapi::RunDir::NamedMutexFile::kReadyMagic && pthread_mutex_lock(&file->mutex) == 0) {
                const auto* p = static_cast<const uint8_t*>(l);
                v.version = getU32(p);
                v.count = getI32(p + 8);
                for (int32_t i = 0; i < v.count && i < 512; ++i) v.entries.push_back(SP::VdeListEntry::decode(p + 24 + 40 * size_t(i)));
                pthread_mutex_unlock(&file->mutex);
                v.ok = true;
            }
        }
        if (m != MAP_FAILED) ::munmap(m, sizeof(Vdapi::RunDir::NamedMutexFile));
        if (l != MAP_FAILED) ::munmap(l, SP::kListMappedSize);
    }
    if (mfd >= 0) ::close(mfd);
    if (lfd >= 0) ::close(lfd);
    return v;
}

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

    auto text = c.call(serviceProperty(7, "DEVICE_NAME", 3124, 0, 0));
    ASSERT_EQ(text.size(), 108u);
    EXPECT_EQ(resultOf(text), 0u);
    EXPECT_EQ(getU32(&text[8]), 11u);
    EXPECT_EQ(Vdapi::Wire::getName(&text[12], 96), "sat-demod-b");

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

TEST_F(ServiceTest, SharedListUnderItsNamedMutex)
{
    ListView v = readList(sim_.runDir(), "VdeSvcListMutex", "VdeSvcList");
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.version, 1u);
    ASSERT_EQ(v.count, 2);
    const SP::VdeListEntry& e = v.entries[0];
    EXPECT_EQ(e.serial, 3137000042);
    EXPECT_EQ(e.typeNumber, 3137);
    EXPECT_EQ(e.firmwareVersion, 3);
    EXPECT_EQ(e.ipAddress, (std::array<uint8_t, 4>{127, 0, 0, 21}));
    EXPECT_EQ(e.macAddress, (std::array<uint8_t, 6>{0x02, 0x56, 0x44, 0, 0, 0x21}));
    EXPECT_EQ(e.opMode, 0);
    EXPECT_EQ(e.port, 8000);
    EXPECT_EQ(v.entries[1].serial, 3124000043);

    EXPECT_EQ(sim_.control("list version 2"), "ok list published");
    EXPECT_EQ(readList(sim_.runDir(), "VdeSvcListMutex", "VdeSvcList").version, 2u);
    EXPECT_EQ(sim_.control("list count 600"), "ok list published");
    v = readList(sim_.runDir(), "VdeSvcListMutex", "VdeSvcList");
    EXPECT_EQ(v.count, 600);
    EXPECT_EQ(v.version, 2u);
    EXPECT_EQ(sim_.control("list restore"), "ok list published");
    EXPECT_EQ(sim_.control("unplug 3137000042"), "ok unplugged");
    v = readList(sim_.runDir(), "VdeSvcListMutex", "VdeSvcList");
    EXPECT_EQ(v.version, 1u);
    ASSERT_EQ(v.count, 1);
    EXPECT_EQ(v.entries[0].serial, 3124000043);
    EXPECT_EQ(sim_.control("plug 3137000042"), "ok plugged");
    EXPECT_EQ(readList(sim_.runDir(), "VdeSvcListMutex", "VdeSvcList").count, 2);
}

TEST_F(ServiceTest, ControlledVersionStopStartAndInjectedFaults)
{
    ServiceConnection c(sim_.pipePath());
    EXPECT_EQ(sim_.control("service version 5.1.2"), "ok service version 5.1.2");
    auto v = c.call(words({0}));
    ASSERT_EQ(v.size(), 24u);
    EXPECT_EQ(getU32(&v[16]), 2u);

    EXPECT_EQ(sim_.control("fail svc:11 2 4126"), "ok svc:11 fails 2 times");
    EXPECT_EQ(resultOf(c.call(words({11}))), 4126u);
    EXPECT_EQ(resultOf(c.call(words({11}))), 4126u);
    EXPECT_EQ(resultOf(c.call(words({11}))), 0u);
    EXPECT_EQ(sim_.control("corrupt svc:0 1"), "ok svc:0 corrupted 1 times");
    EXPECT_EQ(c.call(words({0})).size(), 20u);
    EXPECT_EQ(c.call(words({0})).size(), 24u);

    EXPECT_EQ(sim_.control("service stop"), "ok service stopped");
    EXPECT_TRUE(c.closedByPeer());
    EXPECT_FALSE(ServiceConnection(sim_.pipePath()).connected());
    EXPECT_EQ(sim_.control("service start"), "ok service started");
    ServiceConnection again(sim_.pipePath());
    ASSERT_TRUE(again.connected());
    EXPECT_EQ(again.call(words({0})).size(), 24u);
}

} // namespace
} // namespace vdsim::test
