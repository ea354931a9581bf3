// The common device logic over an in-memory property table: typed lookups, initialisation,
// two-pass capability loading, I/O-configuration checks and descriptor counting.
#include "devices/CapabilityTable.h"
#include "devices/Device.h"
#include "devices/IoConfigTable.h"
#include "tests/support/FieldRows.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace Vdapi;

namespace {

// A device whose "driver" is a table: (name, port) -> value; a missing entry is NOT_FOUND.
class TableDevice : public Device {
public:
    explicit TableDevice(bool hardwareAccess = false, bool proxy = true)
        : Device(kCategoryPci), m_hal(hardwareAccess), m_proxy(proxy)
    {
    }

    std::map<std::pair<std::string, int>, uint64_t> properties;
    std::map<std::pair<int, int>, IoConfigRecord> ioConfig; // (1-based port, group)
    std::vector<PropertyQuery> seen;
    int32_t firmwareStatus = 0;
    VdResult identityResult = VDAPI_OK;

    void SetPortCaps(int port, std::initializer_list<int> indices)
    {
        for (int i : indices)
            properties[{std::string("CAP_") + CapabilityName(i), port}] = 1;
    }

protected:
    bool HasHardwareAccess() const override { return m_hal; }
    bool HasProxy() const override { return m_proxy; }
    VdResult ReadIdentity(DeviceDescriptor& identity) override
    {
        identity.typeNumber = 2144;
        identity.serial = 2144000123;
        identity.firmwareStatus = firmwareStatus;
        return identityResult;
    }
    void LookupProperties(std::span<const PropertyQuery> queries, std::span<uint64_t> values,
                          std::span<VdResult> results) override
    {
        for (size_t i = 0; i < queries.size(); ++i) {
            seen.push_back(queries[i]);
            auto it = properties.find({queries[i].name, queries[i].port});
            values[i] = it == properties.end() ? 0 : it->second;
            results[i] = it == properties.end() ? VDAPI_E_NOT_FOUND : VDAPI_OK;
        }
    }
    VdResult ReadIoConfig(IoConfigRecord& record) override
    {
        auto it = ioConfig.find({record.port, record.group});
        if (it == ioConfig.end())
            return VDAPI_E_COMMUNICATION;
        record = it->second;
        return VDAPI_OK;
    }

private:
    bool m_hal;
    bool m_proxy;
};

} // namespace

TEST(Device, TypedLookupsTruncateAndCheckTheName)
{
    TableDevice d;
    d.properties[{"WIDE", -1}] = 0x1234567800000100ULL;
    bool flag = true;
    EXPECT_EQ(d.GetPropertyBool("WIDE", -1, flag), VDAPI_OK);
    EXPECT_FALSE(flag); // lowest byte is 0
    int32_t i32 = 0;
    EXPECT_EQ(d.GetPropertyInt32("WIDE", -1, i32), VDAPI_OK);
    EXPECT_EQ(i32, 0x100);
    int64_t i64 = 0;
    EXPECT_EQ(d.GetPropertyInt64("WIDE", -1, i64), VDAPI_OK);
    EXPECT_EQ(i64, 0x1234567800000100LL);

    i32 = 77;
    EXPECT_EQ(d.GetPropertyInt32("CAP_ASI", 0, i32), VDAPI_E_NOT_FOUND);
    EXPECT_EQ(i32, 0);

    // Selectors pass through; the defaults are those of the scan road.
    ASSERT_FALSE(d.seen.empty());
    const PropertyQuery& q = d.seen.back();
    test::ExpectFields("query", {{"port", q.port, 0}, {"type", q.typeSelector, -1},
                                 {"sub-function", q.subFunction, -1}, {"selector 3", q.selector3, 0},
                                 {"selector 4", q.selector4, 0}, {"selector 5", q.selector5, -1}});

    const std::string name49(49, 'N');
    const std::string name50(50, 'N');
    d.seen.clear();
    EXPECT_EQ(d.GetPropertyInt32(name49, -1, i32), VDAPI_E_NOT_FOUND);
    EXPECT_EQ(d.seen.size(), 1u);
    EXPECT_EQ(d.GetPropertyInt32(name50, -1, i32), VDAPI_E_BUF_TOO_SMALL);
    EXPECT_EQ(d.seen.size(), 1u); // nothing sent

    TableDevice none(false, false);
    EXPECT_EQ(none.GetPropertyInt32("PORT_COUNT", -1, i32), VDAPI_E_NOT_SUPPORTED);
    EXPECT_EQ(none.Initialize(), VDAPI_E_NOT_SUPPORTED);
}

TEST(Device, InitializeReadsCountsAndClock)
{
    TableDevice d;
    EXPECT_EQ(d.Initialize(), VDAPI_E_NOT_FOUND); // no PORT_COUNT

    d.properties[{"PORT_COUNT", -1}] = 3;
    d.properties[{"REF_CLK_FREQ", -1}] = 27000000;
    EXPECT_EQ(d.Initialize(), VDAPI_OK);
    EXPECT_EQ(d.PortCount(), 3);
    EXPECT_EQ(d.NumPorts(), 3); // MAIN_PORT_COUNT falls back to PORT_COUNT
    EXPECT_EQ(d.RefClockHz(), kDefaultRefClockHz); // no hardware-access object: not asked
    EXPECT_EQ(d.TypeNumber(), 2144);

    d.properties[{"MAIN_PORT_COUNT", -1}] = 2;
    EXPECT_EQ(d.Initialize(), VDAPI_OK);
    EXPECT_EQ(d.NumPorts(), 2);
    EXPECT_EQ(d.PortCount(), 3);

    TableDevice hal(true, false);
    hal.properties = d.properties;
    EXPECT_EQ(hal.Initialize(), VDAPI_OK);
    EXPECT_EQ(hal.RefClockHz(), 27000000);

    d.properties[{"PORT_COUNT", -1}] = 100000; // a broken answer, not an allocation
    EXPECT_EQ(d.Initialize(), VDAPI_E_INTERNAL);
    d.properties[{"PORT_COUNT", -1}] = uint64_t(-1);
    EXPECT_EQ(d.Initialize(), VDAPI_E_INTERNAL);

    d.properties[{"PORT_COUNT", -1}] = 1;
    d.identityResult = VDAPI_E_COMMUNICATION;
    EXPECT_EQ(d.Initialize(), VDAPI_E_COMMUNICATION);
}

TEST(Device, SubValuesNeedTheirParentCapability)
{
    TableDevice d;
    d.properties[{"PORT_COUNT", -1}] = 4;
    d.SetPortCaps(0, {kCapDblBuf, kCapLoopThr, kCapAsi});
    d.SetPortCaps(1, {kCapOutput, kCapDblBuf, kCapAsi});
    // HDSDI with a standard, an SDI standard without SDI, and SHAREDANT (a sub-value of INPUT only).
    d.SetPortCaps(2, {kCapIntOutput, kCapLoopThr, 93, 120, 141, CapabilityIndex("SHAREDANT")});
    d.SetPortCaps(3, {kCapInput});
    EXPECT_EQ(d.Initialize(), VDAPI_OK);
    EXPECT_EQ(d.PortCaps(0), VdCaps(kCapAsi));
    EXPECT_EQ(d.PortCaps(1), VdCaps(kCapOutput) | VdCaps(kCapDblBuf) | VdCaps(kCapAsi));
    EXPECT_EQ(d.PortCaps(2), VdCaps(kCapIntOutput) | VdCaps(kCapLoopThr) | VdCaps(93) | VdCaps(120));
    EXPECT_EQ(d.PortCaps(3), VdCaps(kCapInput));
    EXPECT_TRUE(d.PortCaps(4).IsEmpty());
    EXPECT_TRUE(d.PortCaps(-1).IsEmpty());
}

TEST(Device, IoConfigChecksPortFirmwareAndGroup)
{
    TableDevice d;
    d.properties[{"PORT_COUNT", -1}] = 2;
    d.SetPortCaps(0, {kCapInput, kCapOutput});
    d.SetPortCaps(1, {kCapIp});
    d.ioConfig[{1, kIoDir}] = {1, kIoDir, kIoOutput, kIoDblBuf, 7, 8};
    ASSERT_EQ(d.Initialize(), VDAPI_OK);

    int value = 0, sub = 0;
    int64_t p1 = 0, p2 = 0;
    EXPECT_EQ(d.GetIoConfig(1, kIoDir, value, sub, p1, p2), VDAPI_OK);
    test::ExpectFields("IODIR", {{"value", value, kIoOutput}, {"sub-value", sub, kIoDblBuf}, {"par1", p1, 7},
                                 {"par2", p2, 8}});

    EXPECT_EQ(d.GetIoConfig(0, kIoDir, value, sub, p1, p2), VDAPI_E_NO_SUCH_PORT);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(p2, -1);
    EXPECT_EQ(d.GetIoConfig(3, kIoDir, value, sub, p1, p2), VDAPI_E_NO_SUCH_PORT);
    EXPECT_EQ(d.GetIoConfig(1, kIoTrue, value, sub, p1, p2), VDAPI_E_INVALID_ARG);
    EXPECT_EQ(d.GetIoConfig(1, 113, value, sub, p1, p2), VDAPI_E_INVALID_ARG);
    EXPECT_EQ(d.GetIoConfig(2, kIoDir, value, sub, p1, p2), VDAPI_E_NOT_SUPPORTED); // IP port has no IODIR
    EXPECT_EQ(d.GetIoConfig(1, 10, value, sub, p1, p2), VDAPI_E_NOT_SUPPORTED);     // no AUTOBFGEN

    d.firmwareStatus = kFirmwareObsolete;
    ASSERT_EQ(d.Initialize(), VDAPI_OK);
    EXPECT_EQ(d.GetIoConfig(1, kIoDir, value, sub, p1, p2), VDAPI_E_OBSOLETE_FW);
    d.firmwareStatus = kFirmwareTainted;
    ASSERT_EQ(d.Initialize(), VDAPI_OK);
    EXPECT_EQ(d.GetIoConfig(1, kIoDir, value, sub, p1, p2), VDAPI_E_TAINTED_FW);
}

TEST(Device, DescriptorCountsDirectionsAndStopsOnFailedRead)
{
    // The counting rule: Descriptor.CountingRuleUsesCapabilitiesThenIoDir; the other fields of a
    // card's descriptor: Scan.TwoCallProtocolOnOneCard.
    TableDevice d;
    d.properties[{"PORT_COUNT", -1}] = 3;
    d.SetPortCaps(0, {kCapInput});
    d.SetPortCaps(1, {kCapIp});
    d.SetPortCaps(2, {kCapInput, kCapOutput});
    ASSERT_EQ(d.Initialize(), VDAPI_OK);

    // A failed read of port 3's direction stops the count; the identity is still there.
    DeviceDescriptor desc;
    EXPECT_EQ(d.GetDescriptor(desc), VDAPI_E_COMMUNICATION);
    test::ExpectFields("cut short", {{"serial", desc.serial, 2144000123}, {"inputs", desc.numInputs, 2},
                                     {"outputs", desc.numOutputs, 1}});

    // The count describes the hardware: firmware status does not stop it.
    d.ioConfig[{3, kIoDir}] = {3, kIoDir, kIoOutput, -1, -1, -1};
    d.firmwareStatus = kFirmwareTainted;
    ASSERT_EQ(d.Initialize(), VDAPI_OK);
    EXPECT_EQ(d.GetDescriptor(desc), VDAPI_OK);
    test::ExpectFields("counted", {{"inputs", desc.numInputs, 2}, {"outputs", desc.numOutputs, 2}});
}
