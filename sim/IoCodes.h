// The legacy PCI driver's numbering of I/O-configuration groups, values and sub-values: the
// driver keeps each port's settings by name and answers requests that carry the codes.
#pragma once

#include <string>
#include <string_view>

namespace vdsim {

inline constexpr int kIoCodeCount = 113;
/// Codes below this one name groups (IODIR .. TODREFSEL, then the boolean groups).
inline constexpr int kIoGroupCodeEnd = 18;

/// Name of `code`; "" outside 0..112.
std::string_view ioCodeName(int code);
/// Code of `name`, or -1 ("" and unknown names).
int ioCode(std::string_view name);

} // namespace vdsim
