// The 230-row capability table, built at compile time from runs of consecutive names.
#include "devices/CapabilityTable.h"

#include <array>
#include <cstring>

namespace Vdapi {
namespace {

struct NameRun {
    int first;
    const char* const* names;
    size_t count;
};

constexpr const char* kFrom28[] = {
    "AUTOBFGEN", "BW", "DMATESTMODE", "FAILSAFE", "FRACMODE", "GENLOCKED", "GENREF", "SWS2APSK",
    "ANTPWR", "LNB", "RX_ADV", "RX_ADV_A3", "RX_ADV_BASIC", "RX_ADV_T2", "RX_AUTO_SPECINV",
    "RX_AUTO_SYMRATE", "RX_MAN_SYMRATE", "LBAND", "VHF", "UHF", "FW_ASI", "FW_SDI", "HDMI1_4",
    "HDMI2_0", "DISABLED", "INPUT", "INTINPUT", "INTOUTPUT", "MONITOR", "OUTPUT", "SHAREDANT",
    "DBLBUF", "LOOPS2L3", "LOOPS2TS", "LOOPTHR", "ASIPOL", "AVFIFO", "GENREFSLAVE", "HUFFMAN",
    "IPPAIR", "L3MODE", "MATRIX", "MATRIX2", "PTP", "QUADLINK", "RAWASI", "SDI10BNBO", "SDITIME",
    "SFP10G", "SFP25G", "ST2110", "TIMESTAMP64", "TRPMODE", "TS", "TXONTIME", "VIRTUAL", "12GSDI",
    "3GSDI", "6GSDI", "ASI", "AVENC", "VENDORST", "DEMOD", "GPSTIME", "HDMI", "HDSDI", "IFADC",
    "IP", "MOD", "PHASENOISE", "RS422", "SDIRX", "SDI", "SPI", "SPISDI", "2160P50", "2160P50B",
    "2160P59_94", "2160P59_94B", "2160P60", "2160P60B", "1080P50", "1080P50B", "1080P59_94",
    "1080P59_94B", "1080P60", "1080P60B", "2160P23_98", "2160P24", "2160P25", "2160P29_97",
    "2160P30", "1080I50", "1080I59_94", "1080I60", "1080P23_98", "1080P24", "1080P25",
    "1080P29_97", "1080P30", "1080PSF23_98", "1080PSF24", "1080PSF25", "1080PSF29_97", "1080PSF30",
    "720P23_98", "720P24", "720P25", "720P29_97", "720P30", "720P50", "720P59_94", "720P60",
    "525I59_94", "625I50", "SPI525I59_94", "SPI625I50", "SCALE_12GTO3G", "SCALE_BYPASS", "MODHQ",
    "LOWPWR", "TX_ATSC", "TX_ATSC3", "TX_CMMB", "TX_DAB", "TX_DRM", "TX_DTMB", "TX_DVBC2",
    "TX_DVBS", "TX_DVBS2", "TX_DVBS2X", "TX_DVBT", "TX_DVBT2",
};
constexpr const char* kFrom162[] = {
    "TX_HW8CH", "TX_IQ", "TX_ISDBS", "TX_ISDBS3", "TX_ISDBT", "TX_ISDBTMM", "TX_MH", "TX_QAMA",
    "TX_QAMB", "TX_QAMC", "TX_SWMC", "TX_T2MI", "TX_T2SPLP", "ADJLVL", "CM", "CW", "DIGIQ",
    "DVBCID", "IF", "MUTE", "ROLLOFF", "S2APSK", "SNR", "SNR_GAUSSIAN", "TX_16MHZ", "TX_SFN",
    "RFCLKEXT", "RFCLKINT", "RX_ATSC", "RX_ATSC3", "RX_ATSC3_KOREAN", "RX_CMMB", "RX_DAB",
    "RX_DTMB", "RX_DVBC2", "RX_CID", "RX_DVBS", "RX_DVBS2", "RX_DVBS2_MIS", "RX_DVBT", "RX_DVBT2",
};
constexpr const char* kFrom204[] = {
    "RX_IQ", "RX_ISDBS", "RX_ISDBT", "RX_ISDBT_1_3", "RX_MH", "RX_QAMA", "RX_QAMB", "RX_QAMC",
    "RX_T2MI", "SPICLKEXT", "SPICLKINT", "SPIFIXEDCLK", "SPIDVBMODE", "SPISER8B", "SPISER10B",
    "SPILVDS1", "SPILVDS2", "SPILVTTL", "EXTTSRATE", "EXTRATIO", "INTTSRATE", "LOCK2INP",
    "TODREF_INTERNAL", "TODREF_STEADYCLOCK", "ENC_H264", "ENC_MP2V",
};
constexpr NameRun kNameRuns[] = {
    {28, kFrom28, std::size(kFrom28)},
    {162, kFrom162, std::size(kFrom162)},
    {204, kFrom204, std::size(kFrom204)},
};

// Index ranges that are only sub-values: SHAREDANT..LOOPTHR and the video standards.
struct CapIndexRange {
    int first;
    int last;
};
constexpr CapIndexRange kSubValueOnly[] = {{58, 62}, {103, 144}};

struct SubValueRow {
    int row;
    CapIndexRange ranges[2];
};
constexpr SubValueRow kSubValueSets[] = {
    {53, {{53, 53}, {58, 58}}},  // INPUT: itself, SHAREDANT
    {54, {{54, 54}, {0, -1}}},   // INTINPUT
    {55, {{55, 55}, {59, 62}}},  // INTOUTPUT: itself, DBLBUF..LOOPTHR
    {56, {{56, 56}, {0, -1}}},   // MONITOR
    {57, {{57, 57}, {59, 62}}},  // OUTPUT: itself, DBLBUF..LOOPTHR
    {84, {{103, 108}, {0, -1}}}, // 12GSDI
    {85, {{109, 114}, {0, -1}}}, // 3GSDI
    {86, {{115, 119}, {0, -1}}}, // 6GSDI
    {93, {{120, 140}, {0, -1}}}, // HDSDI
    {100, {{141, 142}, {0, -1}}}, // SDI
    {102, {{143, 144}, {0, -1}}}, // SPISDI
};

constexpr std::array<CapabilityRow, kCapabilityCount> BuildCapabilityTable()
{
    std::array<CapabilityRow, kCapabilityCount> rows{};
    for (auto& row : rows)
        row.topLevel = true;
    for (const NameRun& run : kNameRuns)
        for (size_t i = 0; i < run.count; ++i)
            rows[size_t(run.first) + i].name = run.names[i];
    for (const CapIndexRange& r : kSubValueOnly)
        for (int i = r.first; i <= r.last; ++i)
            rows[size_t(i)].topLevel = false;
    for (const SubValueRow& s : kSubValueSets)
        for (const CapIndexRange& r : s.ranges)
            for (int i = r.first; i <= r.last; ++i)
                rows[size_t(s.row)].subValues |= VdCaps(i);
    return rows;
}

constexpr std::array<CapabilityRow, kCapabilityCount> kTable = BuildCapabilityTable();

// The runs must tile the named part of the table exactly.
static_assert(std::size(kFrom28) == 133 && std::size(kFrom162) == 41 && std::size(kFrom204) == 26);

} // namespace

const CapabilityRow* CapabilityRowAt(int n)
{
    return (n >= 0 && n < kCapabilityCount) ? &kTable[size_t(n)] : nullptr;
}

const char* CapabilityName(int n)
{
    const CapabilityRow* row = CapabilityRowAt(n);
    return row ? row->name : "";
}

int CapabilityIndex(std::string_view name)
{
    if (name.empty())
        return -1;
    for (int i = 0; i < kCapabilityCount; ++i)
        if (name == kTable[size_t(i)].name)
            return i;
    return -1;
}

} // namespace Vdapi
