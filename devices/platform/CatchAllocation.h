// Keeps std::bad_alloc from crossing the device layer's interface: result codes only.
#pragma once

#include "devices/VdapiResult.h"

#include <new>

namespace Vdapi {

/// Runs body (returning a VdResult); an allocation failure inside becomes VDAPI_E_OUT_OF_MEM.
template <class Body> VdResult CatchAllocation(Body&& body) noexcept
{
    try {
        return body();
    }
    catch (const std::bad_alloc&) {
        return VDAPI_E_OUT_OF_MEM;
    }
}

} // namespace Vdapi
