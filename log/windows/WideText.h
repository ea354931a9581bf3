// Windows only. UTF-8 <-> UTF-16 conversion for the Windows calls that take wide strings.
#pragma once

#include <string>
#include <string_view>

namespace kel::windows {

/// UTF-16 form of UTF-8 text; "" when the text is not valid UTF-8.
std::wstring wideFromUtf8(std::string_view utf8);

/// UTF-8 form of UTF-16 text; "" when it holds an unpaired surrogate.
std::string utf8FromWide(std::wstring_view wide);

/// `wide` in the narrow code page `codePage` (CP_ACP, the console's page...), each character
/// the page lacks written as "?" (no best-fit look-alikes); "" when the conversion fails.
std::string narrowFromWide(std::wstring_view wide, unsigned codePage);

}  // namespace kel::windows
