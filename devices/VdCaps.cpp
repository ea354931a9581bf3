// Text form and bit search of the capability set.
#include "devices/VdCaps.h"

#include "devices/CapabilityTable.h"

#include <bit>

namespace Vdapi {

int VdCaps::LowestIndex() const
{
    for (int i = 0; i < kWordCount; ++i)
        if (m_words[size_t(i)] != 0)
            return i * 64 + std::countr_zero(m_words[size_t(i)]);
    return -1;
}

std::string VdCaps::ToString() const
{
    std::string text;
    for (int n = 0; n < kBitCount; ++n) {
        if (!Has(n))
            continue;
        if (!text.empty())
            text += '\n';
        const char* name = CapabilityName(n);
        if (name[0] != '\0')
            text += name;
        else
            text += "#" + std::to_string(n);
    }
    return text;
}

} // namespace Vdapi
