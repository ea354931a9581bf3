// Names of local named pipes on Windows: "\\.\pipe\" followed by the pipe's plain name.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/platform/windows/ObjectName.h"

#include <string>

namespace Vdapi {

inline constexpr char kPipePathPrefix[] = "\\\\.\\pipe\\";
inline constexpr size_t kPipePathPrefixLength = sizeof(kPipePathPrefix) - 1;
/// A client path must stay below 260 characters (the system's path limit).
inline constexpr size_t kMaxPipeClientPath = 259;
/// The pipes this layer serves itself have at most 99 characters in all.
inline constexpr size_t kMaxPipeListenerPath = 99;

/// Checks name against the limit for the whole path and builds the path into path.
inline VdResult MakePipePath(const char* name, size_t maxPath, std::string& path)
{
    if (VdResult r = CheckObjectName(name, maxPath - kPipePathPrefixLength); !isSuccess(r))
        return r;
    path.assign(kPipePathPrefix);
    path.append(name);
    return VDAPI_OK;
}

} // namespace Vdapi
