// Record defaults and the direction rules: input/output counting and a port's chanType.
#include "devices/CapabilityTable.h"
#include "devices/DeviceDescriptor.h"
#include "devices/IoConfigTable.h"
#include "tests/support/FieldRows.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace Vdapi;

namespace {

constexpr uint32_t kReadFailure = 4166;

// IODIR answers per 0-based port; a missing entry fails the read.
struct IoDirTable {
    std::map<int, IoDirValue> values;
    int reads = 0;
    IoDirReader Reader()
    {
        return [this](int port, IoDirValue& out) -> uint32_t {
            ++reads;
            auto it = values.find(port);
            if (it == values.end())
                return kReadFailure;
            out = it->second;
            return 0;
        };
    }
};

VdCaps Caps(std::initializer_list<int> indices)
{
    VdCaps c;
    for (int i : indices)
        c |= VdCaps(i);
    return c;
}

} // namespace

TEST(Descriptor, CountingRuleUsesCapabilitiesThenIoDir)
{
    const std::vector<VdCaps> ports = {
        Caps({kCapInput}),              // input
        Caps({kCapOutput, kCapDblBuf}), // output
        Caps({kCapIp}),                 // both
        Caps({kCapInput, kCapOutput}),  // by IODIR: output
        Caps({kCapDisabled}),           // by IODIR: input
        Caps({kCapInput, kCapOutput}),  // by IODIR: disabled, counts nothing
    };
    IoDirTable io;
    io.values[3] = {kIoOutput, -1};
    io.values[4] = {kIoInput, -1};
    io.values[5] = {kIoDisabled, -1};
    int32_t in = -1, out = -1;
    EXPECT_EQ(CountInputsOutputs(int(ports.size()), [&](int p) { return ports[size_t(p)]; }, io.Reader(), in, out), 0u);
    test::ExpectFields("counts", {{"inputs", in, 3}, {"outputs", out, 3}, {"reads", io.reads, 3}});

    io.values.erase(4);
    EXPECT_EQ(CountInputsOutputs(int(ports.size()), [&](int p) { return ports[size_t(p)]; }, io.Reader(), in, out),
              kReadFailure);
}

TEST(Descriptor, ChanTypeFromCapabilitiesThenIoDirWhenDirectionIsOpen)
{
    IoDirTable io; // port 9 has no entry: reading it fails
    io.values[0] = {kIoOutput, kIoDblBuf};
    io.values[1] = {kIoOutput, kIoLoopThr};
    io.values[2] = {kIoOutput, -1};
    io.values[3] = {kIoDisabled, -1};
    io.values[4] = {kIoInput, -1};
    io.values[5] = {IoConfigCode("MONITOR"), -1};
    const VdCaps bidir = Caps({kCapInput, kCapOutput});
    struct Case {
        VdCaps caps;
        int port;
        int32_t expected;
    };
    for (const Case& c : {
             // The capabilities settle these without a read (one would fail on port 9).
             Case{Caps({kCapInput}), 9, kChanInput},
             Case{Caps({kCapOutput}), 9, kChanOutput},
             Case{Caps({kCapIp}), 9, kChanIp},
             Case{Caps({kCapIp, kCapOutput}), 9, kChanIp},
             Case{VdCaps(), 9, kChanNone},
             Case{Caps({kCapOutput, kCapDblBuf}), 0, kChanDblBufOutput},
             Case{Caps({kCapOutput, kCapLoopThr}), 1, kChanLoopThrOutput},
             Case{bidir, 2, kChanOutput},
             Case{bidir, 3, kChanNone},
             Case{Caps({kCapDisabled, kCapOutput}), 4, kChanInput},
             // A value outside DISABLED/INPUT/OUTPUT keeps the fallback (output here).
             Case{bidir, 5, kChanOutput},
             // A failing read makes the direction unknown.
             Case{bidir, 9, kChanUnknown},
         })
        EXPECT_EQ(ChanTypeOf(c.caps, c.port, io.Reader()), c.expected) << c.caps.ToString() << " port " << c.port;
}
