// Driver classes, device names and path limits that both platforms' driver handles build on, and
// the handles where no driver is installed (this file runs in the Linux and in the Windows tests).
#include "PlatformTestObjects.h" // posix/ or windows/, chosen by the build

#include "devices/platform/DriverPath.h"
#include "devices/platform/Xp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace Vdapi {
namespace {

TEST(DriverNames, ClassGuidsParseIntoTheSystemsFieldsAndBadTextIsRefused)
{
    // The four classes, fields written out from their registry form.
    struct Expected {
        DriverClass driverClass;
        ClassGuidFields fields;
    };
    const Expected expected[] = {
        {DriverClass::Pcie, {0x18ab1e49, 0xc874, 0x4619, {0xb8, 0xac, 0x62, 0x23, 0x2b, 0x4e, 0xc4, 0x1b}}},
        {DriverClass::LegacyPci, {0x9051d683, 0x157f, 0x44b7, {0x9a, 0x22, 0x6b, 0x01, 0x3c, 0xca, 0x67, 0x6a}}},
        {DriverClass::Bb2, {0xf9882bf6, 0xb32d, 0x4098, {0x80, 0x1b, 0xef, 0xb0, 0xad, 0x11, 0x35, 0xf9}}},
        {DriverClass::Usb, {0x96a04ed6, 0xfaa1, 0x47fb, {0xa2, 0x09, 0xe7, 0xbe, 0xec, 0x77, 0x9e, 0x28}}},
    };
    for (const Expected& e : expected) {
        ClassGuidFields parsed;
        ASSERT_TRUE(ParseClassGuid(DriverClassGuid(e.driverClass), parsed)) << DriverClassGuid(e.driverClass);
        EXPECT_EQ(e.fields.data1, parsed.data1);
        EXPECT_EQ(e.fields.data2, parsed.data2);
        EXPECT_EQ(e.fields.data3, parsed.data3);
        EXPECT_EQ(0, std::memcmp(e.fields.data4, parsed.data4, 8)) << DriverClassGuid(e.driverClass);
    }
    ClassGuidFields upper;
    ASSERT_TRUE(ParseClassGuid("{18AB1E49-C874-4619-B8AC-62232B4EC41B}", upper));
    EXPECT_EQ(0x18ab1e49u, upper.data1);

    ClassGuidFields untouched;
    untouched.data1 = 7;
    for (const char* bad : {"", "18ab1e49-c874-4619-b8ac-62232b4ec41b", "{18ab1e49-c874-4619-b8ac-62232b4ec41b",
                            "{18ab1e49-c874-4619-b8ac-62232b4ec41x}", "{18ab1e49c-874-4619-b8ac-62232b4ec41b}",
                            "{18ab1e49-c874-4619-b8ac-62232b4ec41b}}", "{ 8ab1e49-c874-4619-b8ac-62232b4ec41b}"}) {
        EXPECT_FALSE(ParseClassGuid(bad, untouched)) << bad;
        EXPECT_EQ(7u, untouched.data1);
    }
    EXPECT_FALSE(ParseClassGuid(nullptr, untouched));
    EXPECT_STREQ("", DriverClassGuid(static_cast<DriverClass>(9)));
}

TEST(DriverNames, LegacyNamesAndThePathLimit)
{
    EXPECT_EQ("Vda1xx-0", LegacyDriverName(0));
    EXPECT_EQ("Vda1xx-49", LegacyDriverName(49));
    EXPECT_EQ(VDAPI_OK, CheckDriverPathLength(255));
    EXPECT_EQ(VDAPI_E_BUF_TOO_SMALL, CheckDriverPathLength(256));
}

TEST(DriverHandles, WithoutTheDriversEveryClassIsEmptyAndNothingOpens)
{
    // POSIX: a private, empty run directory. Windows: Wine's SetupAPI lists no interface.
    [[maybe_unused]] const PlatformTest::ObjectNames noDrivers;
    for (DriverClass c : {DriverClass::Pcie, DriverClass::LegacyPci, DriverClass::Bb2, DriverClass::Usb}) {
        SCOPED_TRACE(DriverClassGuid(c));
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
    EXPECT_EQ(VDAPI_E_NOT_FOUND, legacy->OpenLegacy(3, true)); // "Vda1xx-3" does not exist
    EXPECT_EQ(VDAPI_E_INVALID_ARG, legacy->OpenLegacy(50, true));
}

} // namespace
} // namespace Vdapi
