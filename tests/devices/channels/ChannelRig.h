// The channel tests' rig (rigs/channels.json): where it lies and the cards it holds.
#pragma once

#include <cstdint>
#include <string>

namespace VdapiTest::ChannelRigCards {

inline constexpr int64_t kAsi = 2144000001;      // ports 1, 2 input; 3, 4 output
inline constexpr int64_t kObsolete = 2144000005; // firmware status 5
inline constexpr int64_t kTainted = 2182000004;  // firmware status 4
inline constexpr int64_t kDemod = 2132000001;    // input-only demodulator ports
inline constexpr int64_t kMod = 2115000001;      // one output-only modulator port
inline constexpr int64_t kIp = 2160000001;       // two IP ports with a link
inline constexpr int64_t kMonitor = 2180000001;  // port 4: an input configured as monitor
inline constexpr int64_t kLegacy = 145000001;    // port 1 ASI, port 2 IP whose driver says "no link"
inline constexpr int64_t kBb2 = 2137000001;      // quad ASI input
inline constexpr int64_t kUsbReceiver = 331000001; // type 331

inline std::string Path()
{
    return std::string(HALVIX_SOURCE_DIR) + "/tests/devices/channels/rigs/channels.json";
}

} // namespace VdapiTest::ChannelRigCards
