// Capability set operations and the capability and I/O-configuration tables.
#include "devices/CapabilityTable.h"
#include "devices/IoConfigTable.h"
#include "devices/VdCaps.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace Vdapi;

TEST(VdCaps, ConstructionFromIndexSetsOneBitOrNone)
{
    for (const VdCaps none : {VdCaps(256), VdCaps(-1), VdCaps()})
        EXPECT_TRUE(none.IsEmpty()) << none.ToString();
    EXPECT_EQ(VdCaps(255).Word(3), uint64_t(1) << 63);
    EXPECT_EQ(VdCaps(255).Word(0), 0u);
    EXPECT_EQ(VdCaps(64).Word(1), 1u);
    EXPECT_EQ(VdCaps().LowestIndex(), -1);
    for (int n : {0, 1, 63, 64, 127, 128, 191, 192, 255})
        EXPECT_EQ(VdCaps(n).LowestIndex(), n) << n;
}

TEST(VdCaps, SetAlgebra)
{
    const VdCaps a = VdCaps(3) | VdCaps(70) | VdCaps(200);
    const VdCaps b = VdCaps(70) | VdCaps(130);
    EXPECT_EQ(a & b, VdCaps(70));
    EXPECT_EQ((a | b).LowestIndex(), 3);
    EXPECT_NE(a, b);
    EXPECT_TRUE((a & ~a).IsEmpty());
    EXPECT_EQ((~VdCaps()).LowestIndex(), 0);
    EXPECT_EQ(~~a, a);
    const VdCaps complement = ~VdCaps(0);
    EXPECT_FALSE(complement.Has(0));
    EXPECT_TRUE(complement.Has(1) && complement.Has(255));

    VdCaps c = a;
    c &= b;
    EXPECT_EQ(c, VdCaps(70));
    c |= VdCaps(5);
    EXPECT_EQ(c.LowestIndex(), 5);
    c.Clear();
    EXPECT_TRUE(c.IsEmpty());
    EXPECT_FALSE(c.NonEmpty());
}

TEST(VdCaps, TextFormListsNamesAscending)
{
    EXPECT_EQ((VdCaps(kCapOutput) | VdCaps(kCapInput)).ToString(), "INPUT\nOUTPUT");
    EXPECT_EQ(VdCaps().ToString(), "");
    EXPECT_EQ(VdCaps(kCapIp).ToString(), "IP");
    // Indices without a name still show up.
    EXPECT_EQ((VdCaps(0) | VdCaps(229) | VdCaps(240)).ToString(), "#0\nENC_MP2V\n#240");
}

TEST(CapabilityTable, NamesSitAtTheirIndices)
{
    const std::pair<int, const char*> known[] = {
        {28, "AUTOBFGEN"}, {52, "DISABLED"}, {53, "INPUT"}, {57, "OUTPUT"}, {59, "DBLBUF"},
        {62, "LOOPTHR"}, {84, "12GSDI"}, {95, "IP"}, {102, "SPISDI"}, {103, "2160P50"},
        {144, "SPI625I50"}, {148, "LOWPWR"}, {160, "TX_DVBT2"}, {162, "TX_HW8CH"},
        {188, "RFCLKEXT"}, {202, "RX_DVBT2"}, {204, "RX_IQ"}, {213, "SPICLKEXT"},
        {222, "EXTTSRATE"}, {229, "ENC_MP2V"},
    };
    for (const auto& [index, name] : known) {
        EXPECT_STREQ(CapabilityName(index), name) << index;
        EXPECT_EQ(CapabilityIndex(name), index) << name;
    }
    // Unnamed and out-of-range indices.
    for (int n : {0, 27, 161, 203, 230, -1})
        EXPECT_STREQ(CapabilityName(n), "") << n;
    EXPECT_EQ(CapabilityRowAt(230), nullptr);
    EXPECT_EQ(CapabilityIndex(""), -1);
    EXPECT_EQ(CapabilityIndex("input"), -1);

    // Every name is unique.
    std::set<std::string> names;
    int named = 0;
    for (int i = 0; i < kCapabilityCount; ++i)
        if (*CapabilityName(i)) {
            ++named;
            EXPECT_TRUE(names.insert(CapabilityName(i)).second) << CapabilityName(i);
        }
    EXPECT_EQ(named, 200);
}

TEST(CapabilityTable, TopLevelMarksAndSubValueSets)
{
    for (int i = 0; i < kCapabilityCount; ++i) {
        const bool subOnly = (i >= 58 && i <= 62) || (i >= 103 && i <= 144);
        EXPECT_EQ(CapabilityRowAt(i)->topLevel, !subOnly) << i;
    }
    const VdCaps outputSubs = VdCaps(57) | VdCaps(59) | VdCaps(60) | VdCaps(61) | VdCaps(62);
    EXPECT_EQ(CapabilityRowAt(kCapOutput)->subValues, outputSubs);
    EXPECT_EQ(CapabilityRowAt(kCapIntOutput)->subValues, (outputSubs & ~VdCaps(57)) | VdCaps(55));
    EXPECT_EQ(CapabilityRowAt(kCapInput)->subValues, VdCaps(53) | VdCaps(58));
    EXPECT_EQ(CapabilityRowAt(93)->subValues.LowestIndex(), 120);
    int hdsdiCount = 0;
    for (int i = 0; i < 256; ++i)
        hdsdiCount += CapabilityRowAt(93)->subValues.Has(i);
    EXPECT_EQ(hdsdiCount, 21);
    EXPECT_TRUE(CapabilityRowAt(kCapIp)->subValues.IsEmpty());
    // The video standards are reachable only through an SDI row.
    VdCaps reachable;
    for (int i = 0; i < kCapabilityCount; ++i)
        reachable |= CapabilityRowAt(i)->subValues;
    for (int i = 103; i <= 144; ++i)
        EXPECT_TRUE(reachable.Has(i)) << i;
}

TEST(IoConfigTable, NamesAndCapabilityIndices)
{
    const std::pair<int, const char*> known[] = {
        {kIoDir, "IODIR"}, {9, "TODREFSEL"}, {10, "AUTOBFGEN"}, {kIoTrue, "TRUE"}, {kIoDblBuf, "DBLBUF"},
        {kIoLoopThr, "LOOPTHR"}, {kIoOutput, "OUTPUT"}, {50, "2160P50"}, {91, "SPI625I50"},
        {112, "TODREF_STEADYCLOCK"},
    };
    for (const auto& [code, name] : known)
        EXPECT_STREQ(IoConfigName(code), name) << code;
    EXPECT_STREQ(IoConfigName(113), "");
    EXPECT_EQ(IoConfigRowAt(-1), nullptr);
    EXPECT_EQ(IoConfigCode("NOPE"), -1);
    // Every code that stands for a capability carries that capability's name.
    for (int code = 0; code < kIoConfigCount; ++code) {
        const IoConfigRow* row = IoConfigRowAt(code);
        ASSERT_NE(row, nullptr);
        EXPECT_STRNE(row->name, "") << code;
        if (row->capIndex >= 0) {
            EXPECT_STREQ(row->name, CapabilityName(row->capIndex)) << code;
        }
        EXPECT_EQ(IoConfigCode(row->name), code) << row->name;
    }
    EXPECT_EQ(IoConfigRowAt(96)->capIndex, 188);
    EXPECT_EQ(IoConfigRowAt(107)->capIndex, 222);
}

TEST(IoConfigTable, AttributesFollowTheHierarchy)
{
    const IoConfigRow& iodir = *IoConfigRowAt(kIoDir);
    EXPECT_TRUE(iodir.isGroup);
    EXPECT_FALSE(iodir.isBoolean || iodir.mayBeValue);
    EXPECT_TRUE(IoConfigRowAt(10)->isBoolean);
    EXPECT_TRUE(IoConfigRowAt(10)->HasChild(kIoTrue) && IoConfigRowAt(10)->HasChild(kIoFalse));
    EXPECT_TRUE(IoConfigRowAt(kIoTrue)->mayBeValue);
    EXPECT_TRUE(IoConfigRowAt(kIoOutput)->mayBeValue);
    EXPECT_TRUE(IoConfigRowAt(kIoDblBuf)->mayBeSubValue);
    EXPECT_FALSE(IoConfigRowAt(kIoDblBuf)->mayBeValue);
    EXPECT_TRUE(IoConfigRowAt(26)->mayBeSubValue);  // SHAREDANT under INPUT
    EXPECT_TRUE(IoConfigRowAt(50)->mayBeSubValue);  // a video standard under 12GSDI
    EXPECT_TRUE(IoConfigRowAt(kIoOutput)->HasChild(kIoLoopThr));
    EXPECT_FALSE(IoConfigRowAt(kIoInput)->HasChild(kIoDblBuf));
    EXPECT_TRUE(IoConfigRowAt(40)->HasChild(87) && !IoConfigRowAt(40)->HasChild(88));
    // Every code but the ten plain groups and eight boolean groups sits below something.
    for (int code = 18; code < kIoConfigCount; ++code) {
        const IoConfigRow& row = *IoConfigRowAt(code);
        EXPECT_TRUE(row.mayBeValue || row.mayBeSubValue) << code;
    }
}

TEST(IoConfigTable, GroupCapabilitySets)
{
    VdCaps iodir;
    for (int i = 52; i <= 57; ++i)
        iodir |= VdCaps(i);
    EXPECT_EQ(IoConfigGroupCaps(kIoDir), iodir);
    EXPECT_EQ(IoConfigGroupCaps(10), VdCaps(28));  // boolean group: its own index
    EXPECT_EQ(IoConfigGroupCaps(4), VdCaps(188) | VdCaps(189));
    EXPECT_EQ(IoConfigGroupCaps(1)->LowestIndex(), 84);
    for (int notAGroup : {kIoTrue, kIoOutput, 113, -1})
        EXPECT_FALSE(IoConfigGroupCaps(notAGroup).has_value()) << notAGroup;
}
