// Parsing class GUIDs from their registry form.
#include "devices/platform/DriverPath.h"

#include <cstring>

namespace Vdapi {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// digits hex digits at text as a number; false when one is not a hex digit.
bool readHex(const char* text, int digits, uint64_t& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0)
            return false;
        value = value * 16 + static_cast<uint64_t>(d);
    }
    return true;
}

} // namespace

bool ParseClassGuid(const char* text, ClassGuidFields& guid)
{
    // {18ab1e49-c874-4619-b8ac-62232b4ec41b}: 38 characters, dashes at 9, 14, 19 and 24.
    constexpr size_t kLength = 38;
    if (text == nullptr || std::strlen(text) != kLength || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-')
        return false;
    ClassGuidFields parsed;
    uint64_t v = 0;
    if (!readHex(text + 1, 8, v))
        return false;
    parsed.data1 = static_cast<uint32_t>(v);
    if (!readHex(text + 10, 4, v))
        return false;
    parsed.data2 = static_cast<uint16_t>(v);
    if (!readHex(text + 15, 4, v))
        return false;
    parsed.data3 = static_cast<uint16_t>(v);
    // The last two groups are eight single bytes: two from the fourth group, six from the fifth.
    const int offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!readHex(text + offsets[i], 2, v))
            return false;
        parsed.data4[i] = static_cast<uint8_t>(v);
    }
    guid = parsed;
    return true;
}

} // namespace Vdapi
