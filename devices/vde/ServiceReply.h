// Checks and decodes device-service replies: exact length per command, then the fields.
// Pure functions over bytes, so the same code runs on pipe replies and in fuzzing.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/vde/ServiceProtocol.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Vdapi {

/// Version numbers the device service reports.
struct VdeServiceVersion {
    uint32_t major = 0, minor = 0, bugfix = 0, build = 0;
};

/// Oldest service the client accepts: 5.1.3 (build not compared).
inline constexpr VdeServiceVersion kMinServiceVersion{5, 1, 3, 0};

/// True when v is at least kMinServiceVersion, compared as major, minor, then bugfix.
bool IsAcceptedServiceVersion(const VdeServiceVersion& v);

namespace ServiceReply {

/// True when a reply to command has exactly the size the command expects (command 9: 12 bytes
/// plus its announced data length).
bool HasExpectedLength(int32_t command, const uint8_t* reply, size_t size);
/// Result code of a reply to command: VDAPI_E_INTERNAL unless the reply has exactly the size
/// the command expects (command 9: at least 12 bytes plus its announced data length, exactly);
/// otherwise the service's result code at offset 4.
VdResult Check(int32_t command, const uint8_t* reply, size_t size);

/// Fields of a 24-byte version reply; call only after Check succeeded in length.
VdeServiceVersion Version(const uint8_t* reply);
/// Value of a 24-byte numeric-property reply.
int64_t NumericValue(const uint8_t* reply);
/// Port handle of a 16-byte demodulator-attach reply (the u32 at 8).
uint32_t AttachHandle(const uint8_t* reply);
/// Text of a 108-byte string-property reply (at most 95 characters). False when the 96-byte
/// text field holds no terminating NUL (a malformed reply); text is then empty.
bool StringValue(const uint8_t* reply, std::string& text);
/// Mutex and section names of a 408-byte list-names reply. False when either 100-unit field
/// holds no terminating NUL; both names are then empty.
bool ListNames(const uint8_t* reply, std::string& mutexName, std::string& sharedMemName);

} // namespace ServiceReply
} // namespace Vdapi
