// The I/O-configuration table, built at compile time from runs of codes. Codes that stand for a
// capability take their names from the capability table so the two never drift apart.
#include "devices/IoConfigTable.h"

#include "devices/CapabilityTable.h"

#include <array>

namespace Vdapi {
namespace {

using IoRange = IoConfigRow::Range;

enum class Kind { Group, BooleanGroup, Plain };

// A run of consecutive codes. Either `names` (one per code) or `firstCap` (consecutive
// capability indices, whose names the codes take) is given.
struct CodeRun {
    int firstCode;
    int count;
    Kind kind;
    int firstCap;                     // -1 when the run has its own names
    std::array<const char*, 10> names;
};

constexpr CodeRun kRuns[] = {
    {0, 10, Kind::Group, -1,
     {"IODIR", "IOSTD", "IODOWNSCALE", "PWRMODE", "RFCLKSEL", "SPICLKSEL", "SPIMODE", "SPISTD",
      "TSRATESEL", "TODREFSEL"}},
    {10, 8, Kind::BooleanGroup, 28, {}},  // AUTOBFGEN .. SWS2APSK
    {18, 2, Kind::Plain, -1, {"TRUE", "FALSE"}},
    {20, 11, Kind::Plain, 52, {}},        // DISABLED .. LOOPTHR
    {31, 19, Kind::Plain, 84, {}},        // 12GSDI .. SPISDI
    {50, 42, Kind::Plain, 103, {}},       // video standards 2160P50 .. SPI625I50
    {92, 4, Kind::Plain, 145, {}},        // SCALE_12GTO3G .. LOWPWR
    {96, 2, Kind::Plain, 188, {}},        // RFCLKEXT, RFCLKINT
    {98, 9, Kind::Plain, 213, {}},        // SPICLKEXT .. SPILVTTL
    {107, 6, Kind::Plain, 222, {}},       // EXTTSRATE .. TODREF_STEADYCLOCK
};

struct ChildRow {
    int code;
    IoRange ranges[2];
};
constexpr ChildRow kChildren[] = {
    {0, {{20, 25}, {}}},          // IODIR
    {1, {{31, 49}, {}}},          // IOSTD
    {2, {{92, 93}, {}}},          // IODOWNSCALE
    {3, {{94, 95}, {}}},          // PWRMODE
    {4, {{96, 97}, {}}},          // RFCLKSEL
    {5, {{98, 99}, {}}},          // SPICLKSEL
    {6, {{100, 103}, {}}},        // SPIMODE
    {7, {{104, 106}, {}}},        // SPISTD
    {8, {{107, 110}, {}}},        // TSRATESEL
    {9, {{111, 112}, {}}},        // TODREFSEL
    {21, {{21, 21}, {26, 26}}},   // INPUT: itself, SHAREDANT
    {22, {{22, 22}, {}}},         // INTINPUT
    {23, {{23, 23}, {27, 30}}},   // INTOUTPUT: itself, DBLBUF..LOOPTHR
    {24, {{24, 24}, {}}},         // MONITOR
    {25, {{25, 25}, {27, 30}}},   // OUTPUT: itself, DBLBUF..LOOPTHR
    {31, {{50, 55}, {}}},         // 12GSDI
    {32, {{56, 61}, {}}},         // 3GSDI
    {33, {{62, 66}, {}}},         // 6GSDI
    {40, {{67, 87}, {}}},         // HDSDI
    {47, {{88, 89}, {}}},         // SDI
    {49, {{90, 91}, {}}},         // SPISDI
};

std::array<IoConfigRow, kIoConfigCount> BuildIoConfigTable()
{
    std::array<IoConfigRow, kIoConfigCount> rows{};
    for (const CodeRun& run : kRuns) {
        for (int i = 0; i < run.count; ++i) {
            IoConfigRow& row = rows[size_t(run.firstCode + i)];
            if (run.firstCap >= 0) {
                row.capIndex = run.firstCap + i;
                row.name = CapabilityName(row.capIndex);
            } else {
                row.name = run.names[size_t(i)];
            }
            row.isGroup = run.kind != Kind::Plain;
            row.isBoolean = run.kind == Kind::BooleanGroup;
            if (row.isBoolean)
                row.children[0] = {kIoTrue, kIoFalse};
        }
    }
    for (const ChildRow& c : kChildren)
        rows[size_t(c.code)].children[0] = c.ranges[0], rows[size_t(c.code)].children[1] = c.ranges[1];
    // A child of a group may be a value; a child of a value may be a sub-value.
    for (const IoConfigRow& parent : rows)
        for (int code = 0; code < kIoConfigCount; ++code)
            if (parent.HasChild(code))
                (parent.isGroup ? rows[size_t(code)].mayBeValue : rows[size_t(code)].mayBeSubValue) = true;
    return rows;
}

const std::array<IoConfigRow, kIoConfigCount>& IoTable()
{
    static const std::array<IoConfigRow, kIoConfigCount> table = BuildIoConfigTable();
    return table;
}

} // namespace

const IoConfigRow* IoConfigRowAt(int code)
{
    return (code >= 0 && code < kIoConfigCount) ? &IoTable()[size_t(code)] : nullptr;
}

const char* IoConfigName(int code)
{
    const IoConfigRow* row = IoConfigRowAt(code);
    return row ? row->name : "";
}

int IoConfigCode(std::string_view name)
{
    if (name.empty())
        return -1;
    for (int code = 0; code < kIoConfigCount; ++code)
        if (name == IoTable()[size_t(code)].name)
            return code;
    return -1;
}

std::optional<VdCaps> IoConfigGroupCaps(int code)
{
    const IoConfigRow* row = IoConfigRowAt(code);
    if (!row)
        return std::nullopt;
    if (row->isBoolean)
        return VdCaps(row->capIndex);
    if (!row->isGroup)
        return std::nullopt;
    VdCaps caps;
    for (int child = 0; child < kIoConfigCount; ++child)
        if (row->HasChild(child))
            caps |= VdCaps(IoTable()[size_t(child)].capIndex);
    return caps;
}

} // namespace Vdapi
