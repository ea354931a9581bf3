// Translation of errno values to result codes, with the raw value logged.
#include "devices/platform/posix/ErrnoResult.h"

#include "devices/platform/Xp.h"

#include <cerrno>
#include <cstring>

namespace Vdapi {

namespace {

struct ErrnoMapping {
    int err;
    VdResult result;
};

constexpr ErrnoMapping kErrnoMappings[] = {
    {ENOENT, VDAPI_E_NOT_FOUND},
    {ENOTDIR, VDAPI_E_NOT_FOUND},
    {EACCES, VDAPI_E_NO_PERMISSION},
    {EPERM, VDAPI_E_NO_PERMISSION},
    {EROFS, VDAPI_E_NO_PERMISSION},
    {ENAMETOOLONG, VDAPI_E_BUF_TOO_SMALL},
    {ENOMEM, VDAPI_E_OUT_OF_MEM},
    {EMFILE, VDAPI_E_OUT_OF_RESOURCES},
    {ENFILE, VDAPI_E_OUT_OF_RESOURCES},
    {ENOBUFS, VDAPI_E_OUT_OF_RESOURCES},
    {ENOSPC, VDAPI_E_OUT_OF_RESOURCES},
    {ETIMEDOUT, VDAPI_E_TIMEOUT},
    {EPIPE, VDAPI_E_COMMUNICATION},
    {ECONNRESET, VDAPI_E_COMMUNICATION},
    {EBUSY, VDAPI_E_IN_USE},
};

} // namespace

VdResult ResultFromErrno(int err, VdResult catchAll, const char* operation)
{
    VdResult result = catchAll;
    bool mapped = false;
    for (const ErrnoMapping& m : kErrnoMappings) {
        if (m.err == err) {
            result = m.result;
            mapped = true;
            break;
        }
    }
    char text[128];
    // GNU strerror_r returns the message pointer (possibly not text).
    const char* message = strerror_r(err, text, sizeof(text));
    const char* what = operation ? operation : "system call";
    if (mapped && result == VDAPI_E_NOT_FOUND)
        VDAPI_LOG(Verbose, "%s failed: errno %d (%s) -> %s", what, err, message, ResultName(result));
    else
        VDAPI_LOG(Warning, "%s failed: errno %d (%s) -> %s", what, err, message, ResultName(result));
    return result;
}

} // namespace Vdapi
