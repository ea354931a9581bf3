// Result codes: values and names of the codes the device layer produces, and unnamed gaps.
#include "devices/VdapiResult.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace Vdapi {
namespace {

struct Expected {
    VdResult code;
    const char* name;
};

// Values as the layer's users know them; the header derives them from consecutive runs.
constexpr Expected kKnownCodes[] = {
    {0, "VDAPI_OK"},
    {1, "VDAPI_OK_FAILSAFE"},
    {2, "VDAPI_OK_PENDING"},
    {3, "VDAPI_OK_PARTIAL_DEV"},
    {4, "VDAPI_OK_TAINTED_FW"},
    {5, "VDAPI_OK_OBSOLETE_FW"},
    {4096, "VDAPI_E_ATTACHED"},
    {4097, "VDAPI_E_BUF_TOO_SMALL"},
    {4098, "VDAPI_E_DEV_DRIVER"},
    {4104, "VDAPI_E_IN_USE"},
    {4105, "VDAPI_E_INVALID_BUF"},
    {4107, "VDAPI_E_INVALID_FLAGS"},
    {4112, "VDAPI_E_NO_DEVICE"},
    {4114, "VDAPI_E_NO_SUCH_DEVICE"},
    {4116, "VDAPI_E_NO_VD_OUTPUT"},
    {4117, "VDAPI_E_NOT_ATTACHED"},
    {4118, "VDAPI_E_NOT_FOUND"},
    {4119, "VDAPI_E_NOT_SUPPORTED"},
    {4120, "VDAPI_E_DEVICE"},
    {4124, "VDAPI_E_NO_VD_INPUT"},
    {4125, "VDAPI_E_DRIVER_INCOMP"},
    {4126, "VDAPI_E_INTERNAL"},
    {4136, "VDAPI_E_INVALID_TSTYPE"},
    {4140, "VDAPI_E_INVALID_ARG"},
    {4143, "VDAPI_E_NO_SUCH_PORT"},
    {4157, "VDAPI_E_TIMEOUT"},
    {4166, "VDAPI_E_COMMUNICATION"},
    {4225, "VDAPI_E_NO_PERMISSION"},
    {4226, "VDAPI_E_CANCELLED"},
    {4227, "VDAPI_E_OUT_OF_RESOURCES"},
    {4250, "VDAPI_E_NOT_IMPLEMENTED"},
    {4257, "VDAPI_E_EXCL_MANDATORY"},
    {4359, "VDAPI_E_TAINTED_FW"},
    {4360, "VDAPI_E_OBSOLETE_FW"},
    // First and last of each run, around the restarts.
    {4315, "VDAPI_E_INVALID_ENC_TYPE"},
    {4317, "VDAPI_E_NO_ENCODER"},
    {4340, "VDAPI_E_INVALID_FECTYPE"},
    {4342, "VDAPI_E_INVALID_VERSION"},
    {4378, "VDAPI_E_ALREADY_EXCL_ACCESS"},
    {4380, "VDAPI_E_CPU_NO_AVX2"},
    {4381, "VDAPI_E_INVALID_MIMO"},
};

TEST(ResultCodes, KnownCodesHaveTheirValuesAndNames)
{
    for (const Expected& e : kKnownCodes)
        EXPECT_STREQ(e.name, ResultName(e.code)) << e.code;
    // The named constants agree with the same values.
    EXPECT_EQ(4104u, VDAPI_E_IN_USE);
    EXPECT_EQ(4157u, VDAPI_E_TIMEOUT);
    EXPECT_EQ(4226u, VDAPI_E_CANCELLED);
    EXPECT_EQ(4127u, VDAPI_E_OUT_OF_MEM);
    EXPECT_EQ(4141u, VDAPI_E_NW_DRIVER);
    EXPECT_EQ(4212u, VDAPI_E_CONNECT_TO_SERVICE);
    EXPECT_EQ(4223u, VDAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(4224u, VDAPI_E_NOT_LOCKED);
    EXPECT_EQ(4255u, VDAPI_E_BUF_TOO_LARGE);
    EXPECT_EQ(4302u, VDAPI_E_CID_INVALID_ID);
    EXPECT_EQ(4381u, VDAPI_E_INVALID_MIMO);
}

TEST(ResultCodes, GapsAndOutOfRangeCodesAreUnknown)
{
    const std::string unknown = "??? UNKNOWN VDAPI_RESULT ???";
    for (VdResult code : {6u, 100u, 4095u, 4106u, 4316u, 4341u, 4379u, 4382u, 0xFFFFFFFFu}) {
        EXPECT_EQ(unknown, ResultName(code)) << code;
        EXPECT_FALSE(IsNamedResult(code)) << code;
    }
}

TEST(ResultCodes, EveryNameIsUniqueAndSuccessEndsAt4096)
{
    std::set<std::string> names;
    int named = 0;
    for (VdResult code = 0; code < 5000; ++code) {
        if (!IsNamedResult(code))
            continue;
        ++named;
        const std::string name = ResultName(code);
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(isSuccess(code), name.rfind("VDAPI_OK", 0) == 0) << name;
    }
    // 6 success codes, VDAPI_E_ATTACHED and the 281 names that follow it.
    EXPECT_EQ(288, named);
    EXPECT_TRUE(isSuccess(4095));
    EXPECT_FALSE(isSuccess(4096));
}

} // namespace
} // namespace Vdapi
