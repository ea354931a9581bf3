// Requests of the device-service pipe "VdeRecvPipe", built byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Vdapi {
namespace ServiceRequest {

/// A request of the command's size, zero-filled, with the command code at 0.
std::vector<uint8_t> Command(int32_t command);
/// Commands 1 and 7: name at 4 (NUL-padded, 52 bytes), type number at 56, the words at 60 and
/// 64, port + 1 at 68. False (`out` untouched) when the name has more than 49 characters.
bool Property(int32_t command, const std::string& name, int32_t typeNumber, int32_t field60, int32_t field64,
              int32_t portPlusOne, std::vector<uint8_t>& out);
/// Command 3: pipe name at 4 (128 bytes), mask at 132. False when the name has more than 63
/// characters.
bool EventPipe(const std::string& pipeName, uint32_t mask, std::vector<uint8_t>& out);
/// Command 4: IPv4 address at 4, serial at 8, port + 1 at 16.
std::vector<uint8_t> DemodAttach(const uint8_t ipv4[4], int64_t serial, int32_t portPlusOne);
/// Command 5: serial at 8, port + 1 at 16, handle at 20.
std::vector<uint8_t> DemodDetach(int64_t serial, int32_t portPlusOne, uint32_t handle);
/// Command 6: as command 5, and the wire access code (0, 1, 2) at 24.
std::vector<uint8_t> DemodAccessMode(int64_t serial, int32_t portPlusOne, uint32_t handle, uint32_t wireMode);

} // namespace ServiceRequest
} // namespace Vdapi
