#include "sim/IoCodes.h"

#include <array>

namespace vdsim {
namespace {

constexpr std::array<const char*, kIoCodeCount> kNames{
    // 0..9 groups, 10..17 boolean groups, 18..19 their values
    "IODIR", "IOSTD", "IODOWNSCALE", "PWRMODE", "RFCLKSEL", "SPICLKSEL", "SPIMODE", "SPISTD", "TSRATESEL",
    "TODREFSEL", "AUTOBFGEN", "BW", "DMATESTMODE", "FAILSAFE", "FRACMODE", "GENLOCKED", "GENREF", "SWS2APSK",
    "TRUE", "FALSE",
    // 20..30 directions and their sub-values
    "DISABLED", "INPUT", "INTINPUT", "INTOUTPUT", "MONITOR", "OUTPUT", "SHAREDANT", "DBLBUF", "LOOPS2L3",
    "LOOPS2TS", "LOOPTHR",
    // 31..49 standards
    "12GSDI", "3GSDI", "6GSDI", "ASI", "AVENC", "VENDORST", "DEMOD", "GPSTIME", "HDMI", "HDSDI", "IFADC", "IP",
    "MOD", "PHASENOISE", "RS422", "SDIRX", "SDI", "SPI", "SPISDI",
    // 50..91 video standards
    "2160P50", "2160P50B", "2160P59_94", "2160P59_94B", "2160P60", "2160P60B", "1080P50", "1080P50B",
    "1080P59_94", "1080P59_94B", "1080P60", "1080P60B", "2160P23_98", "2160P24", "2160P25", "2160P29_97",
    "2160P30", "1080I50", "1080I59_94", "1080I60", "1080P23_98", "1080P24", "1080P25", "1080P29_97", "1080P30",
    "1080PSF23_98", "1080PSF24", "1080PSF25", "1080PSF29_97", "1080PSF30", "720P23_98", "720P24", "720P25",
    "720P29_97", "720P30", "720P50", "720P59_94", "720P60", "525I59_94", "625I50", "SPI525I59_94", "SPI625I50",
    // 92..112 scaler, power, clock and rate selections
    "SCALE_12GTO3G", "SCALE_BYPASS", "MODHQ", "LOWPWR", "RFCLKEXT", "RFCLKINT", "SPICLKEXT", "SPICLKINT",
    "SPIFIXEDCLK", "SPIDVBMODE", "SPISER8B", "SPISER10B", "SPILVDS1", "SPILVDS2", "SPILVTTL", "EXTTSRATE",
    "EXTRATIO", "INTTSRATE", "LOCK2INP", "TODREF_INTERNAL", "TODREF_STEADYCLOCK"};

} // namespace

std::string_view ioCodeName(int code)
{
    return code >= 0 && code < kIoCodeCount ? kNames[size_t(code)] : "";
}

int ioCode(std::string_view name)
{
    if (name.empty()) return -1;
    for (int i = 0; i < kIoCodeCount; ++i)
        if (name == kNames[size_t(i)]) return i;
    return -1;
}

} // namespace vdsim
