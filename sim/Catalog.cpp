// Compiled-in catalog of simulated device types.
//
// Shape of one entry (all keys but "family" and "ports" optional):
//   "<type>": {
//     "family": "pcie" | "legacy" | "bb2" | "usb" | "vde",
//     "description": text,
//     "ports": number of ports,
//     "subType": int,
//     "device": { PROPERTY: value, ... }            device-level properties
//     "port":   PORTSPEC                            default for every port
//     "perPort": { "<1-based port>": PORTSPEC }     replaces the default for that port
//   }
//   PORTSPEC = { "caps": [capability names], "io": { GROUP: "VALUE" | "VALUE/SUBVALUE" },
//                "properties": { NAME: value }, "linkSpeed": driver link-speed code }
// A capability name X becomes the port property "CAP_X" with value 1.
#include "sim/Catalog.h"

namespace vdsim {
namespace {

const char* const kCatalogText = R"JSON({
  "2144": {
    "family": "pcie", "description": "4-port ASI input/output", "ports": 4,
    "device": {"REF_CLK_FREQ": 54000000, "TEMP_SENS_COUNT": 1},
    "port": {"caps": ["INPUT", "OUTPUT", "ASI", "ASIPOL", "RAWASI", "TIMESTAMP64", "TXONTIME", "TS",
                      "DBLBUF", "LOOPTHR", "FAILSAFE"],
             "io": {"IODIR": "INPUT", "IOSTD": "ASI", "FAILSAFE": "FALSE"}}
  },
  "2179": {
    "family": "pcie", "description": "12-port 12G-SDI with matrix", "ports": 12,
    "device": {"REF_CLK_FREQ": 148500000, "TEMP_SENS_COUNT": 2, "FAN_COUNT": 1},
    "port": {"caps": ["INPUT", "OUTPUT", "SDI", "HDSDI", "3GSDI", "12GSDI", "MATRIX", "MATRIX2", "GENLOCKED",
                      "GENREF", "SDITIME", "QUADLINK", "DBLBUF", "LOOPTHR",
                      "2160P50", "2160P59_94", "2160P60", "1080P50", "1080P59_94", "1080P60",
                      "1080I50", "1080I59_94", "720P50", "720P59_94", "525I59_94", "625I50"],
             "io": {"IODIR": "INPUT", "IOSTD": "12GSDI/2160P50", "GENLOCKED": "FALSE"}}
  },
  "2174": {
    "family": "pcie", "description": "4-port 12G-SDI 4K card", "ports": 4,
    "device": {"REF_CLK_FREQ": 148500000, "TEMP_SENS_COUNT": 1},
    "port": {"caps": ["INPUT", "OUTPUT", "SDI", "HDSDI", "3GSDI", "12GSDI", "MATRIX", "GENLOCKED", "QUADLINK",
                      "2160P50", "2160P59_94", "2160P60", "1080P50", "1080I50", "720P50", "625I50"],
             "io": {"IODIR": "INPUT", "IOSTD": "12GSDI/2160P50"}}
  },
  "2180": {
    "family": "pcie", "description": "3 multi-standard ports and a monitor input", "ports": 4,
    "device": {"REF_CLK_FREQ": 54000000},
    "port": {"caps": ["INPUT", "OUTPUT", "ASI", "SDI", "HDSDI", "3GSDI", "DBLBUF", "1080P50", "1080I50", "625I50"],
             "io": {"IODIR": "INPUT", "IOSTD": "ASI"}},
    "perPort": {"4": {"caps": ["INPUT", "MONITOR", "TS"], "io": {"IODIR": "MONITOR", "IOSTD": "ASI"}}}
  },
  "2182": {
    "family": "pcie", "description": "4 3G-SDI ports and 2 ASI ports", "ports": 6,
    "device": {"REF_CLK_FREQ": 54000000},
    "port": {"caps": ["INPUT", "OUTPUT", "SDI", "HDSDI", "3GSDI", "GENLOCKED", "1080P50", "1080I50", "720P50", "625I50"],
             "io": {"IODIR": "OUTPUT", "IOSTD": "3GSDI/1080P50"}},
    "perPort": {"5": {"caps": ["INPUT", "OUTPUT", "ASI", "DBLBUF"], "io": {"IODIR": "INPUT", "IOSTD": "ASI"}},
                "6": {"caps": ["INPUT", "OUTPUT", "ASI", "DBLBUF"], "io": {"IODIR": "INPUT", "IOSTD": "ASI"}}}
  },
  "2132": {
    "family": "pcie", "description": "dual demodulator, terrestrial/cable and satellite", "ports": 2,
    "device": {"REF_CLK_FREQ": 54000000},
    "port": {"caps": ["INPUT", "DEMOD", "RX_DVBT", "RX_DVBT2", "RX_QAMA", "RX_QAMB", "RX_QAMC", "RX_ATSC",
                      "RX_ISDBT", "RX_DTMB", "RX_T2MI", "RX_IQ", "VHF", "UHF", "ANTPWR", "RX_ADV"],
             "io": {"IODIR": "INPUT", "IOSTD": "DEMOD"}},
    "perPort": {"2": {"caps": ["INPUT", "DEMOD", "RX_DVBS", "RX_DVBS2", "RX_DVBS2_MIS", "RX_ISDBS", "RX_IQ",
                               "LBAND", "LNB", "SWS2APSK", "RX_AUTO_SYMRATE"],
                      "io": {"IODIR": "INPUT", "IOSTD": "DEMOD"}}}
  },
  "2115": {
    "family": "pcie", "description": "multi-standard modulator", "ports": 1,
    "device": {"REF_CLK_FREQ": 54000000},
    "port": {"caps": ["OUTPUT", "MOD", "TX_DVBT", "TX_DVBT2", "TX_DVBS", "TX_DVBS2", "TX_DVBS2X", "TX_QAMA",
                      "TX_QAMB", "TX_QAMC", "TX_ATSC", "TX_ATSC3", "TX_ISDBT", "TX_DTMB", "TX_IQ", "TX_T2MI",
                      "TX_DRM", "ADJLVL", "CM", "CW", "MUTE", "SNR", "IF", "LBAND", "UHF", "VHF", "DBLBUF"],
             "io": {"IODIR": "OUTPUT", "IOSTD": "MOD"}}
  },
  "2160": {
    "family": "pcie", "description": "dual 1 GbE transport-stream over IP", "ports": 2,
    "device": {"REF_CLK_FREQ": 54000000},
    "port": {"caps": ["IP", "IPPAIR", "TS", "PTP", "TIMESTAMP64"], "io": {"IOSTD": "IP"}, "linkSpeed": 2}
  },
  "2162": {
    "family": "pcie", "description": "dual 10 GbE SFP+ transport-stream over IP", "ports": 2,
    "device": {"REF_CLK_FREQ": 54000000},
    "port": {"caps": ["IP", "IPPAIR", "SFP10G", "TS", "PTP", "ST2110"], "io": {"IOSTD": "IP"}, "linkSpeed": 3}
  },
  "145": {
    "family": "legacy", "description": "legacy PCI dual ASI", "ports": 2,
    "device": {"REF_CLK_FREQ": 27000000},
    "port": {"caps": ["INPUT", "OUTPUT", "ASI", "DBLBUF"], "io": {"IODIR": "INPUT", "IOSTD": "ASI"}}
  },
  "124": {
    "family": "legacy", "description": "legacy PCI two-function ASI/SDI", "ports": 4,
    "device": {"REF_CLK_FREQ": 27000000},
    "port": {"caps": ["INPUT", "OUTPUT", "ASI", "SDI", "625I50", "525I59_94"], "io": {"IODIR": "INPUT", "IOSTD": "ASI"}}
  },
  "2137": {
    "family": "bb2", "description": "quad ASI input", "ports": 4,
    "device": {"REF_CLK_FREQ": 54000000},
    "port": {"caps": ["INPUT", "ASI", "TS", "TIMESTAMP64"], "io": {"IODIR": "INPUT", "IOSTD": "ASI"}}
  },
  "215": {
    "family": "usb", "description": "USB ASI input/output", "ports": 1, "subType": 1,
    "device": {"REF_CLK_FREQ": 27000000, "FAN_COUNT": 0, "TEMP_SENS_COUNT": 1, "TEMP_SENS_TYPE": 2},
    "port": {"caps": ["INPUT", "OUTPUT", "ASI", "DBLBUF", "TIMESTAMP64"], "io": {"IODIR": "INPUT", "IOSTD": "ASI"},
             "properties": {"TESTING_LOOP_BACK_32B_TX": 0, "TESTING_LOOP_BACK_32B_RX": 0}}
  },
  "238": {
    "family": "usb", "description": "USB terrestrial demodulator", "ports": 1, "subType": 0,
    "device": {"REF_CLK_FREQ": 54000000, "FAN_COUNT": 1, "FAN_TYPE": 1, "TEMP_SENS_COUNT": 1, "TEMP_SENS_TYPE": 1},
    "port": {"caps": ["INPUT", "DEMOD", "RX_DVBT", "RX_DVBT2", "RX_QAMA", "RX_ISDBT", "RX_IQ", "UHF", "VHF"],
             "io": {"IODIR": "INPUT", "IOSTD": "DEMOD"}}
  },
  "331": {
    "family": "usb", "description": "USB ASI receiver with real-attach probing", "ports": 1, "subType": 0,
    "device": {"REF_CLK_FREQ": 27000000},
    "port": {"caps": ["INPUT", "ASI"], "io": {"IODIR": "INPUT", "IOSTD": "ASI"}}
  },
  "3137": {
    "family": "vde", "description": "Ethernet-attached ASI/IP gateway", "ports": 4,
    "device": {"REF_CLK_FREQ": 54000000},
    "port": {"caps": ["INPUT", "OUTPUT", "ASI", "DBLBUF", "LOOPTHR"], "io": {"IODIR": "INPUT", "IOSTD": "ASI"}}
  },
  "3124": {
    "family": "vde", "description": "Ethernet-attached satellite demodulator", "ports": 2,
    "device": {"REF_CLK_FREQ": 54000000},
    "port": {"caps": ["INPUT", "DEMOD", "RX_DVBS", "RX_DVBS2", "RX_IQ", "SWS2APSK", "LBAND", "LNB"],
             "io": {"IODIR": "INPUT", "IOSTD": "DEMOD"}}
  }
})JSON";

} // namespace

const nlohmann::json& catalog()
{
    static const nlohmann::json parsed = nlohmann::json::parse(kCatalogText);
    return parsed;
}

} // namespace vdsim
