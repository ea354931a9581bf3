// The cards of the channel tests' rig (tests/devices/channels/rigs/channels.json) by serial.
#pragma once

#include <cstdint>
#include <string>

namespace VdapiTest {

constexpr int64_t kAsi = 2144000001;      // ports 1, 2 input; 3, 4 output
constexpr int64_t kObsolete = 2144000005; // firmware status 5
constexpr int64_t kTainted = 2182000004;  // firmware status 4
constexpr int64_t kDemod = 2132000001;    // input-only demodulator ports
constexpr int64_t kMod = 2115000001;      // one output-only modulator port
constexpr int64_t kIp = 2160000001;       // two IP ports
constexpr int64_t kMonitor = 2180000001;  // port 4: an input configured as monitor
constexpr int64_t kLegacy = 145000001;    // port 1 ASI, port 2 IP whose driver reports code 6 (no link)
constexpr int64_t kBb2 = 2137000001;      // quad ASI input

inline std::string ChannelRig()
{
    return std::string(HALVIX_SOURCE_DIR) + "/tests/devices/channels/rigs/channels.json";
}

} // namespace VdapiTest
