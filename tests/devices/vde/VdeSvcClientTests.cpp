// The device-service client and the shared-list reader against the real simulator: version
// rule, commands, refused refresh, broken exchanges, and list faults.
#include "devices/vde/VdeListEnum.h"
#include "devices/vde/VdeSvcClient.h"

#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

namespace Vdapi {
namespace {

namespace SP = ServiceProtocol;
using VdapiService::VdeListEnum;

class VdeServiceTest : public vdsim::test::ReferenceSim {
protected:
    /// Walks the whole list with a fresh reader; false when it cannot be opened.
    bool readList(std::vector<SP::VdeListEntry>& out, bool refresh = false, VdResult* error = nullptr)
    {
        out.clear();
        VdeListEnum list;
        const bool opened = list.Open(refresh);
        if (error) *error = list.LastError();
        if (!opened) return false;
        list.Begin();
        SP::VdeListEntry e;
        while (list.Next(e)) out.push_back(e);
        return true;
    }
};

TEST_F(VdeServiceTest, VersionRuleOnConnect)
{
    VdeSvcClient client;
    VdeServiceVersion v;
    EXPECT_EQ(client.GetVersion(v), VDAPI_E_NOT_INITIALIZED); // nothing sent before Connect
    ASSERT_EQ(client.Connect(), VDAPI_OK);
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(client.Connect(), VDAPI_OK);
    ASSERT_EQ(client.GetVersion(v), VDAPI_OK);
    EXPECT_EQ(v.major, 5u);
    EXPECT_EQ(v.minor, 2u);
    EXPECT_EQ(client.Disconnect(), VDAPI_OK);
    EXPECT_FALSE(client.IsConnected());
    int64_t value = 0;
    EXPECT_EQ(client.GetProperty("PROP", 3137, 3, 0, value), VDAPI_E_NOT_INITIALIZED);

    // From 5.1.3 on; a refused client stays unconnected and sends nothing.
    for (const auto& [version, accepted] : std::vector<std::pair<const char*, bool>>{
             {"5.1.3", true}, {"6.0.0", true}, {"5.2.0.7", true},
             {"5.1.2", false}, {"4.9.9", false}, {"5.0.10", false}}) {
        ASSERT_TRUE(sim_.command(std::string("service version ") + version));
        VdeSvcClient c;
        EXPECT_EQ(c.Connect(), accepted ? VDAPI_OK : VDAPI_E_SERVICE_INCOMP) << version;
        EXPECT_EQ(c.IsConnected(), accepted) << version;
        EXPECT_EQ(c.RefreshVdeList(), accepted ? VDAPI_OK : VDAPI_E_NOT_INITIALIZED) << version;
    }
}

TEST_F(VdeServiceTest, NumericAndStringProperties)
{
    VdeSvcClient client;
    ASSERT_EQ(client.Connect(), VDAPI_OK);

    int64_t value = -1;
    // Unknown property: the service's error passes through unchanged.
    const VdResult unknown = client.GetProperty("NO_SUCH_PROPERTY", 3137, 3, 0, value);
    EXPECT_FALSE(isSuccess(unknown));
    EXPECT_NE(unknown, VDAPI_E_INTERNAL);

    // A 50-character name never reaches the service.
    ASSERT_EQ(sim_.control("counters reset").rfind("ok", 0), 0u);
    EXPECT_EQ(client.GetProperty(std::string(50, 'N'), 3137, 3, 0, value), VDAPI_E_BUF_TOO_SMALL);
    char small[4];
    size_t len = 0;
    EXPECT_EQ(client.GetStrProperty(std::string(50, 'N'), 3137, 0, 0, 0, small, sizeof small, len),
              VDAPI_E_BUF_TOO_SMALL);
    EXPECT_EQ(sim_.control("counters").find("svc:1="), std::string::npos);

    char text[96] = {};
    ASSERT_EQ(client.GetStrProperty("DEVICE_NAME", 3137, 0, 0, 0, text, sizeof text, len), VDAPI_OK);
    EXPECT_STREQ(text, "gateway-a");
    EXPECT_EQ(len, 9u);
    // Room for the text but not its terminator: refused, the length still reported.
    len = 0;
    char tight[9];
    EXPECT_EQ(client.GetStrProperty("DEVICE_NAME", 3137, 0, 0, 0, tight, sizeof tight, len), VDAPI_E_BUF_TOO_SMALL);
    EXPECT_EQ(len, 9u);
    ASSERT_EQ(client.GetStrProperty("DEVICE_NAME", 3124, 0, 0, 0, text, sizeof text, len), VDAPI_OK);
    EXPECT_STREQ(text, "sat-demod-b");
}

TEST_F(VdeServiceTest, InjectedFailuresBrokenExchangesAndAStoppedServiceReachTheClient)
{
    VdeSvcClient client;
    ASSERT_EQ(client.Connect(), VDAPI_OK);
    // A refused refresh reports the service's code.
    EXPECT_EQ(client.RefreshVdeList(), VDAPI_OK);
    ASSERT_EQ(sim_.control("fail svc:11 1 4126").rfind("ok", 0), 0u);
    EXPECT_EQ(client.RefreshVdeList(), VdResult(4126));
    EXPECT_EQ(client.RefreshVdeList(), VDAPI_OK);

    // A refused refresh makes the list reader give up (the scan then discovers by itself).
    ASSERT_EQ(sim_.control("fail svc:11 1 4126").rfind("ok", 0), 0u);
    std::vector<SP::VdeListEntry> entries;
    VdResult why = VDAPI_OK;
    EXPECT_FALSE(readList(entries, true, &why));
    EXPECT_EQ(why, VdResult(4126));
    EXPECT_TRUE(readList(entries, true));
    EXPECT_EQ(entries.size(), 2u);

    // A reply of the wrong length is an internal error; the pipe serves the next request.
    ASSERT_EQ(sim_.control("corrupt svc:2 1").rfind("ok", 0), 0u);
    std::string m, s;
    EXPECT_EQ(client.GetVdeListNames(m, s), VDAPI_E_INTERNAL);
    EXPECT_TRUE(m.empty());
    ASSERT_EQ(client.GetVdeListNames(m, s), VDAPI_OK);
    EXPECT_FALSE(m.empty());
    EXPECT_FALSE(s.empty());
    EXPECT_NE(m, s);
    // A corrupted version reply fails the connect itself.
    ASSERT_EQ(sim_.control("corrupt svc:0 1").rfind("ok", 0), 0u);
    VdeSvcClient other;
    EXPECT_EQ(other.Connect(), VDAPI_E_INTERNAL);
    EXPECT_EQ(other.Connect(), VDAPI_OK);

    // Stopping the service cuts the client's connection under it. While the service is away
    // neither a new client nor the list reader connects, and the reconnect fails too; once it is
    // back, requests work again on the client still connected, and a failed Connect is retried.
    ASSERT_EQ(sim_.control("service stop"), "ok service stopped");
    VdeSvcClient late;
    EXPECT_EQ(late.Connect(), VDAPI_E_CONNECT_TO_SERVICE);
    EXPECT_FALSE(readList(entries, false, &why));
    EXPECT_EQ(why, VDAPI_E_CONNECT_TO_SERVICE);
    EXPECT_EQ(client.RefreshVdeList(), VDAPI_E_INTERNAL);
    EXPECT_EQ(client.RefreshVdeList(), VDAPI_E_INTERNAL);
    ASSERT_EQ(sim_.control("service start"), "ok service started");
    EXPECT_EQ(client.RefreshVdeList(), VDAPI_E_INTERNAL); // finds no pipe, reconnects
    EXPECT_EQ(client.RefreshVdeList(), VDAPI_OK);
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(late.Connect(), VDAPI_OK);
}

TEST_F(VdeServiceTest, ListReadWithEntriesAndItsFaults)
{
    std::vector<SP::VdeListEntry> entries;
    ASSERT_TRUE(readList(entries));
    ASSERT_EQ(entries.size(), 2u);
    // Entries come whole from the view (each field's place: GoldenRecords.SharedMemoryListHeaderAndEntry).
    EXPECT_EQ(entries[0].serial, 3137000042);
    EXPECT_EQ(entries[1].serial, 3124000043);

    // Begin rewinds; Next past the end stays at the end.
    {
        VdeListEnum list;
        ASSERT_TRUE(list.Open(false));
        EXPECT_FALSE(list.Open(false));
        SP::VdeListEntry e;
        while (list.Next(e)) {
        }
        EXPECT_FALSE(list.Next(e));
        list.Begin();
        ASSERT_TRUE(list.Next(e));
        EXPECT_EQ(e.serial, 3137000042);
    }

    ASSERT_EQ(sim_.control("list version 2"), "ok list published");
    VdResult why = VDAPI_OK;
    EXPECT_FALSE(readList(entries, false, &why));
    EXPECT_EQ(why, VDAPI_E_INVALID_VERSION);

    // A count beyond the 512 slots the section holds is never trusted (the clamp itself is
    // VdeListViewTest's): the walk reads through the mapped section's view.
    ASSERT_EQ(sim_.control("list restore"), "ok list published");
    ASSERT_EQ(sim_.control("list count 600"), "ok list published");
    ASSERT_TRUE(readList(entries));
    EXPECT_EQ(entries.size(), SP::kListMaxEntries);

    // Devices leaving the list show up on the next walk; an empty list is no error.
    ASSERT_EQ(sim_.control("list restore"), "ok list published");
    ASSERT_EQ(sim_.control("unplug 3137000042"), "ok unplugged");
    ASSERT_EQ(sim_.control("unplug 3124000043"), "ok unplugged");
    ASSERT_TRUE(readList(entries));
    EXPECT_TRUE(entries.empty());
}

} // namespace
} // namespace Vdapi
