// The shared-list view over plain bytes: the entry count is clamped to what the bytes hold.
#include "devices/vde/VdeListView.h"

#include "base/WireBytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace Vdapi {
namespace {

namespace SP = ServiceProtocol;

std::vector<uint8_t> listBytes(uint32_t version, int32_t count, size_t entries, size_t extra = 0)
{
    std::vector<uint8_t> b(SP::kListEntriesOffset + entries * SP::kListEntrySize + extra, 0);
    Wire::putU32(b.data(), version);
    Wire::putI32(b.data() + SP::kListCountOffset, count);
    for (size_t i = 0; i < entries; ++i) {
        SP::VdeListEntry e;
        e.serial = int64_t(3100000000 + i);
        e.encode(b.data() + SP::kListEntriesOffset + i * SP::kListEntrySize);
    }
    return b;
}

TEST(VdeListViewTest, CountIsClampedToTheBytesHeld)
{
    // Count 5 over two whole entries and a partial third: only the whole ones are readable.
    auto bytes = listBytes(1, 5, 2, 7);
    VdeListView view(bytes.data(), bytes.size());
    EXPECT_TRUE(view.HasValidVersion());
    ASSERT_EQ(view.EntryCount(), 2u);
    SP::VdeListEntry e;
    ASSERT_TRUE(view.Entry(1, e));
    EXPECT_EQ(e.serial, 3100000001);
    e.serial = -7;
    EXPECT_FALSE(view.Entry(2, e));
    EXPECT_EQ(e.serial, -7);

    // A header cut short has no version and no entries.
    VdeListView header(bytes.data(), SP::kListEntriesOffset - 1);
    EXPECT_FALSE(header.HasValidVersion());
    EXPECT_EQ(header.EntryCount(), 0u);
    EXPECT_EQ(VdeListView().EntryCount(), 0u);

    auto full = listBytes(1, 100000, SP::kListMaxEntries, 400);
    EXPECT_EQ(VdeListView(full.data(), full.size()).EntryCount(), SP::kListMaxEntries);
    auto negative = listBytes(1, -5, 2);
    EXPECT_EQ(VdeListView(negative.data(), negative.size()).EntryCount(), 0u);
}

} // namespace
} // namespace Vdapi
