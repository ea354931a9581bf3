// VdCaps: the 256-bit capability set carried by every port; bit n stands for capability index n.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace Vdapi {

class VdCaps {
public:
    static constexpr int kBitCount = 256;
    static constexpr int kWordCount = 4;

    constexpr VdCaps() = default;
    /// The set holding index n alone; the empty set when n is negative or 256 or more.
    constexpr explicit VdCaps(int n)
    {
        if (n >= 0 && n < kBitCount)
            m_words[size_t(n) / 64] = uint64_t(1) << (unsigned(n) % 64);
    }
    /// The set whose words are w0 (indices 0-63) to w3 (indices 192-255).
    static constexpr VdCaps FromWords(uint64_t w0, uint64_t w1, uint64_t w2, uint64_t w3)
    {
        VdCaps c;
        c.m_words = {w0, w1, w2, w3};
        return c;
    }

    constexpr void Clear() { m_words = {}; }
    constexpr bool IsEmpty() const { return (m_words[0] | m_words[1] | m_words[2] | m_words[3]) == 0; }
    constexpr bool NonEmpty() const { return !IsEmpty(); }
    /// True when index n is in the set; false for an index outside 0..255.
    constexpr bool Has(int n) const { return ((*this) & VdCaps(n)).NonEmpty(); }
    constexpr uint64_t Word(int i) const { return (i >= 0 && i < kWordCount) ? m_words[size_t(i)] : 0; }

    constexpr bool operator==(const VdCaps& o) const = default;

    constexpr VdCaps operator&(const VdCaps& o) const
    {
        VdCaps r(*this);
        r &= o;
        return r;
    }
    constexpr VdCaps operator|(const VdCaps& o) const
    {
        VdCaps r(*this);
        r |= o;
        return r;
    }
    constexpr VdCaps operator~() const
    {
        VdCaps r;
        for (size_t i = 0; i < kWordCount; ++i)
            r.m_words[i] = ~m_words[i];
        return r;
    }
    constexpr VdCaps& operator&=(const VdCaps& o)
    {
        for (size_t i = 0; i < kWordCount; ++i)
            m_words[i] &= o.m_words[i];
        return *this;
    }
    constexpr VdCaps& operator|=(const VdCaps& o)
    {
        for (size_t i = 0; i < kWordCount; ++i)
            m_words[i] |= o.m_words[i];
        return *this;
    }

    /// Lowest index in the set, or -1 when the set is empty.
    int LowestIndex() const;
    /// Names of the indices in the set, ascending, joined by "\n". An index without a name in
    /// the capability table appears as "#<index>" so that no member goes unseen.
    std::string ToString() const;

private:
    std::array<uint64_t, kWordCount> m_words{};
};

} // namespace Vdapi
