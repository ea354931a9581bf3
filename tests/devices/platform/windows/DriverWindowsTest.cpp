// The Windows driver handle where no driver is installed (as under Wine, whose SetupAPI lists
// no interface): nothing is found, nothing is sent, and the arguments are still checked.
#include "devices/platform/Xp.h"

#include <gtest/gtest.h>

namespace Vdapi {
namespace {

TEST(DriverWindows, WithoutTheDriversEveryClassIsEmptyAndNothingOpens)
{
    for (DriverClass c : {DriverClass::Pcie, DriverClass::LegacyPci, DriverClass::Bb2, DriverClass::Usb}) {
        auto handle = Xp::NewDriver(c);
        ASSERT_TRUE(handle);
        uint64_t mask = 123;
        EXPECT_EQ(VDAPI_OK, handle->ListInterfaces(mask));
        EXPECT_EQ(0u, mask);
        EXPECT_EQ(VDAPI_E_NOT_FOUND, handle->Open(0, true, true));
        EXPECT_EQ(VDAPI_E_INVALID_ARG, handle->Open(kMaxDriverInterfaces, true, true));
        EXPECT_EQ(VDAPI_E_INVALID_ARG, handle->Open(-1, false, false));
        EXPECT_FALSE(handle->IsOpen());
        uint8_t out[4];
        uint32_t returned = 9, error = 9;
        EXPECT_EQ(VDAPI_E_DEV_DRIVER, handle->Request(0xB02C707E, nullptr, 0, out, 4, &returned, &error));
        EXPECT_EQ(0u, returned);
        EXPECT_EQ(0u, error);
    }
    auto legacy = Xp::NewDriver(DriverClass::LegacyPci);
    EXPECT_EQ(VDAPI_E_NOT_FOUND, legacy->OpenLegacy(3, true)); // "\\.\Vda1xx-3" does not exist
    EXPECT_EQ(VDAPI_E_INVALID_ARG, legacy->OpenLegacy(50, true));
}

} // namespace
} // namespace Vdapi
