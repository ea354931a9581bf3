// Translation of kernel-driver error numbers (system error numbering) to result codes.
#include "devices/platform/IXpDriver.h"

namespace Vdapi {

namespace {

constexpr uint32_t kCustomerBit = 1u << 29;

struct DriverErrorMapping {
    uint32_t windowsError;
    VdResult result;
};

// The whole table: everything not listed is a failed request.
constexpr DriverErrorMapping kDriverErrors[] = {
    {0, VDAPI_OK},
    {0xE000000Au, VDAPI_E_IN_USE},    // function held by another user
    {1450, VDAPI_E_OUT_OF_RESOURCES}, // insufficient system resources
    {995, VDAPI_E_CANCELLED},         // operation aborted
};

} // namespace

VdResult DriverErrorToResult(uint32_t windowsError)
{
    for (const DriverErrorMapping& m : kDriverErrors)
        if (m.windowsError == windowsError)
            return m.result;
    // Other customer-defined errors carry one of our error codes in their low 16 bits.
    if ((windowsError & kCustomerBit) != 0) {
        const VdResult carried = windowsError & 0xFFFFu;
        if (!isSuccess(carried) && IsNamedResult(carried))
            return carried;
    }
    return VDAPI_E_COMMUNICATION;
}

} // namespace Vdapi
