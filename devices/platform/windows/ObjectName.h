// Name checks of the named kernel objects the device layer opens (mutexes, sections, pipes).
#pragma once

#include "devices/VdapiResult.h"

#include <cstddef>
#include <cstring>

namespace Vdapi {

/// VDAPI_E_INVALID_ARG for a null or empty name or one containing '/' (refused as on every
/// platform, so a name works everywhere or nowhere); VDAPI_E_BUF_TOO_SMALL when it is longer
/// than maxLength characters; VDAPI_OK otherwise. Backslashes are allowed: they select a
/// kernel namespace ("Global\...").
inline VdResult CheckObjectName(const char* name, size_t maxLength)
{
    if (name == nullptr)
        return VDAPI_E_INVALID_ARG;
    const size_t length = ::strnlen(name, maxLength + 1);
    if (length > maxLength)
        return VDAPI_E_BUF_TOO_SMALL;
    if (length == 0 || std::strchr(name, '/') != nullptr)
        return VDAPI_E_INVALID_ARG;
    return VDAPI_OK;
}

} // namespace Vdapi
