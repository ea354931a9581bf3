// Kernel-driver handle on POSIX: open by interface index or legacy name, bounded requests.
#include "devices/platform/posix/XpDriverPosix.h"

#include "devices/platform/Xp.h"
#include "devices/platform/posix/CatchAllocation.h"
#include "devices/platform/posix/DriverWire.h"
#include "devices/platform/posix/ErrnoResult.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/UnixSocket.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace Vdapi {

namespace {

/// Interface paths of 256 characters or more are refused, as the system's device paths are.
constexpr size_t kMaxDriverPath = 255;

/// Index named by a directory entry: decimal without leading zeros, below the class limit; -1 otherwise.
int interfaceIndex(const char* name)
{
    int value = 0;
    int digits = 0;
    for (const char* p = name; *p != '\0'; ++p, ++digits) {
        if (*p < '0' || *p > '9' || digits >= 2)
            return -1;
        value = value * 10 + (*p - '0');
    }
    if (digits == 0 || (digits > 1 && name[0] == '0') || value >= kMaxDriverInterfaces)
        return -1;
    return value;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

VdResult XpDriverPosix::Open(int index, bool /*overlapped*/, bool /*shared*/)
{
    // Requests are synchronous on this system, and exclusivity is arbitrated by the driver per
    // function block, so neither flag changes how the socket is opened.
    return CatchAllocation([&]() -> VdResult {
        Close();
        if (index < 0 || index >= kMaxDriverInterfaces)
            return VDAPI_E_INVALID_ARG;
        return openPath(RunDir::driverInterface(DriverClassGuid(driverClass_), static_cast<unsigned>(index)));
    });
}

VdResult XpDriverPosix::OpenLegacy(int index, bool /*shared*/)
{
    return CatchAllocation([&]() -> VdResult {
        Close();
        if (index < 0 || index >= kMaxDriverInterfaces)
            return VDAPI_E_INVALID_ARG;
        return openPath(RunDir::legacyDriver(kLegacyDriverNamePrefix + std::to_string(index)));
    });
}

VdResult XpDriverPosix::openPath(const std::string& path)
{
    if (path.size() > kMaxDriverPath)
        return VDAPI_E_BUF_TOO_SMALL;
    UnixSocketAddress address;
    if (VdResult r = address.assign(path); !isSuccess(r))
        return r == VDAPI_E_BUF_TOO_SMALL || r == VDAPI_E_NOT_FOUND ? r : VDAPI_E_NO_PERMISSION;
    UniqueFd s = NewUnixStreamSocket(false);
    if (!s) {
        ResultFromErrno(errno, VDAPI_E_NO_PERMISSION, "socket");
        return VDAPI_E_NO_PERMISSION;
    }
    while (::connect(s.get(), address.get(), address.length()) != 0) {
        const int err = errno;
        if (err == EINTR)
            continue;
        if (err == ENOENT || err == ENOTDIR)
            return VDAPI_E_NOT_FOUND;
        // Present but unusable (no one serving it, no access, ...): the raw reason goes to the log.
        ResultFromErrno(err, VDAPI_E_NO_PERMISSION, "open driver interface");
        return VDAPI_E_NO_PERMISSION;
    }
    socket_ = std::move(s);
    return VDAPI_OK;
}

bool XpDriverPosix::exchangeAll(bool sending, uint8_t* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t n = sending ? ::send(socket_.get(), bytes, length, MSG_NOSIGNAL)
                                  : ::recv(socket_.get(), bytes, length, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

VdResult XpDriverPosix::brokenExchange(const char* what, uint32_t code)
{
    VDAPI_LOG(Warning, "driver request 0x%08X: %s; handle closed", code, what);
    Close();
    return VDAPI_E_COMMUNICATION;
}

VdResult XpDriverPosix::Request(uint32_t code, const void* input, uint32_t inputSize, void* output,
                                uint32_t outputCapacity, uint32_t* returnedSize, uint32_t* windowsError)
{
    if (returnedSize != nullptr)
        *returnedSize = 0;
    if (windowsError != nullptr)
        *windowsError = 0;
    if (!socket_)
        return VDAPI_E_DEV_DRIVER;
    if ((input == nullptr && inputSize > 0) || (output == nullptr && outputCapacity > 0))
        return VDAPI_E_INVALID_BUF;
    if (inputSize > DriverWire::kMaxPayload)
        return VDAPI_E_BUF_TOO_LARGE;
    // A larger buffer than the wire allows is fine; the driver just never fills more.
    const uint32_t capacity = std::min(outputCapacity, DriverWire::kMaxPayload);

    uint8_t header[DriverWire::kRequestHeaderSize];
    DriverWire::encode(DriverWire::RequestHeader{code, inputSize, capacity}, header);
    if (!sendAll(header, sizeof(header)) || !sendAll(input, inputSize))
        return brokenExchange("driver gone while sending", code);

    uint8_t replyBytes[DriverWire::kReplyHeaderSize];
    if (!receiveAll(replyBytes, sizeof(replyBytes)))
        return brokenExchange("driver gone before replying", code);
    const DriverWire::ReplyHeader reply = DriverWire::decodeReply(replyBytes);
    // The announced length is checked before a single byte of it is read.
    if (reply.outputLength > capacity)
        return brokenExchange("reply announces more output than the room given", code);
    if (!receiveAll(output, reply.outputLength))
        return brokenExchange("reply output cut short", code);

    if (returnedSize != nullptr)
        *returnedSize = reply.outputLength;
    if (windowsError != nullptr)
        *windowsError = reply.windowsError;
    return DriverErrorToResult(reply.windowsError);
}

VdResult XpDriverPosix::ListInterfaces(uint64_t& presentMask)
{
    presentMask = 0;
    return CatchAllocation([&]() -> VdResult {
        const std::string folder = RunDir::root() + "/drivers/" + DriverClassGuid(driverClass_);
        std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
        if (!dir) {
            if (errno == ENOENT)
                return VDAPI_OK; // driver not installed: no interfaces
            ResultFromErrno(errno, VDAPI_E_INTERNAL, "list driver interfaces");
            return VDAPI_E_INTERNAL;
        }
        uint64_t mask = 0;
        errno = 0;
        while (const dirent* entry = ::readdir(dir.get())) {
            if (entry->d_type != DT_SOCK && entry->d_type != DT_UNKNOWN)
                continue;
            const int index = interfaceIndex(entry->d_name);
            if (index >= 0)
                mask |= uint64_t(1) << index;
        }
        presentMask = mask;
        return VDAPI_OK;
    });
}

} // namespace Vdapi
