// The 113-code I/O-configuration table: groups, their values and the values' sub-values.
#pragma once

#include "devices/VdCaps.h"

#include <optional>
#include <string_view>

namespace Vdapi {

/// Number of codes; a code outside 0..112 is invalid.
inline constexpr int kIoConfigCount = 113;

// Codes the device layer uses by number.
inline constexpr int kIoDir = 0;
inline constexpr int kIoStd = 1;
inline constexpr int kIoTrue = 18;
inline constexpr int kIoFalse = 19;
inline constexpr int kIoDisabled = 20;
inline constexpr int kIoInput = 21;
inline constexpr int kIoOutput = 25;
inline constexpr int kIoDblBuf = 27;
inline constexpr int kIoLoopThr = 30;

struct IoConfigRow {
    struct Range {
        int first = 0;
        int last = -1; ///< empty when last < first
    };
    const char* name = "";
    int capIndex = -1;         ///< capability index standing for this code, or -1
    bool isBoolean = false;    ///< a boolean group (its values are TRUE and FALSE)
    bool isGroup = false;      ///< a configuration group
    bool mayBeValue = false;   ///< a child of some group
    bool mayBeSubValue = false; ///< a child of some value
    Range children[2];         ///< values of a group, or sub-values of a value

    bool HasChild(int code) const
    {
        for (const Range& r : children)
            if (code >= r.first && code <= r.last)
                return true;
        return false;
    }
};

/// Row of `code`, or nullptr for a code outside 0..112.
const IoConfigRow* IoConfigRowAt(int code);
/// Name of `code`; "" outside the table.
const char* IoConfigName(int code);
/// Code whose name is `name`, or -1.
int IoConfigCode(std::string_view name);
/// Capability set of a configuration code: for a boolean group its own index, for a group the
/// union of its values' indices. nullopt for any other code (invalid argument).
std::optional<VdCaps> IoConfigGroupCaps(int code);

} // namespace Vdapi
