// Record defaults and the direction rules: input/output counting and a port's chanType.
#include "devices/CapabilityTable.h"
#include "devices/DeviceDescriptor.h"
#include "devices/IoConfigTable.h"

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

TEST(Descriptor, DefaultsAreZero)
{
    const HwFunctionDescriptor hw;
    EXPECT_EQ(hw.port, 0);
    EXPECT_EQ(hw.chanType, 0);
    EXPECT_TRUE(hw.caps.IsEmpty());
    EXPECT_EQ(hw.device.serial, 0);
    for (int32_t w : hw.device.infoBlock)
        EXPECT_EQ(w, 0);
}

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
    EXPECT_EQ(in, 3);
    EXPECT_EQ(out, 3);
    EXPECT_EQ(io.reads, 3);

    io.values.erase(4);
    EXPECT_EQ(CountInputsOutputs(int(ports.size()), [&](int p) { return ports[size_t(p)]; }, io.Reader(), in, out),
              kReadFailure);
}

TEST(Descriptor, ChanTypeFallbackWithoutReading)
{
    IoDirTable io; // every read would fail
    EXPECT_EQ(ChanTypeOf(Caps({kCapInput}), 0, io.Reader()), kChanInput);
    EXPECT_EQ(ChanTypeOf(Caps({kCapOutput}), 0, io.Reader()), kChanOutput);
    EXPECT_EQ(ChanTypeOf(Caps({kCapIp}), 0, io.Reader()), kChanIp);
    EXPECT_EQ(ChanTypeOf(Caps({kCapIp, kCapOutput}), 0, io.Reader()), kChanIp);
    EXPECT_EQ(ChanTypeOf(VdCaps(), 0, io.Reader()), kChanNone);
    EXPECT_EQ(io.reads, 0);
}

TEST(Descriptor, ChanTypeFromIoDirWhenDirectionIsOpen)
{
    IoDirTable io;
    io.values[0] = {kIoOutput, kIoDblBuf};
    io.values[1] = {kIoOutput, kIoLoopThr};
    io.values[2] = {kIoOutput, -1};
    io.values[3] = {kIoDisabled, -1};
    io.values[4] = {kIoInput, -1};
    io.values[5] = {IoConfigCode("MONITOR"), -1};
    const VdCaps bidir = Caps({kCapInput, kCapOutput});
    EXPECT_EQ(ChanTypeOf(Caps({kCapOutput, kCapDblBuf}), 0, io.Reader()), kChanDblBufOutput);
    EXPECT_EQ(ChanTypeOf(Caps({kCapOutput, kCapLoopThr}), 1, io.Reader()), kChanLoopThrOutput);
    EXPECT_EQ(ChanTypeOf(bidir, 2, io.Reader()), kChanOutput);
    EXPECT_EQ(ChanTypeOf(bidir, 3, io.Reader()), kChanNone);
    EXPECT_EQ(ChanTypeOf(Caps({kCapDisabled, kCapOutput}), 4, io.Reader()), kChanInput);
    // A value outside DISABLED/INPUT/OUTPUT keeps the fallback (output here).
    EXPECT_EQ(ChanTypeOf(bidir, 5, io.Reader()), kChanOutput);
    // A failing read makes the direction unknown.
    EXPECT_EQ(ChanTypeOf(bidir, 9, io.Reader()), kChanUnknown);
}
