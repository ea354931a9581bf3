// File-system helpers for the named objects below the run directory: name checks, directory
// creation and atomic publication of a new object file.
#pragma once

#include "devices/VdapiResult.h"

#include <cstddef>
#include <functional>
#include <string>

namespace Vdapi {

/// Checks the name of a named object. Returns VDAPI_OK; VDAPI_E_INVALID_ARG when name is null,
/// empty, "." or "..", or contains '/' (it must stay one file below its folder);
/// VDAPI_E_BUF_TOO_SMALL when it is longer than maxLength characters or than a file name may be
/// (255 bytes on Linux).
VdResult CheckObjectName(const char* name, size_t maxLength);

/// Creates path and its missing parents. Returns VDAPI_OK, or the mapped errno
/// (VDAPI_E_NO_PERMISSION, VDAPI_E_NOT_FOUND, VDAPI_E_INTERNAL ...).
VdResult EnsureDirectory(const std::string& path);

/// Publishes a new object file of size bytes at path: the file is built under a temporary name
/// in the same folder, handed to init as a writable mapping (init returns false to give up:
/// VDAPI_E_OUT_OF_RESOURCES, nothing published), and then linked into place, so an
/// opener either sees no file or a completely initialised one. When a file already exists at
/// path it is left alone and existed is set. Returns VDAPI_OK (also when it existed), or
/// the mapped errno of the first failing step; a failure leaves no temporary file behind.
VdResult PublishObjectFile(const std::string& path, size_t size, const std::function<bool(void*)>& init,
                           bool& existed);

/// Removes the object file at path; processes that have it open or mapped keep using it.
/// Returns VDAPI_OK, VDAPI_E_NOT_FOUND, or the mapped errno.
VdResult RemoveObjectFile(const std::string& path);

} // namespace Vdapi
