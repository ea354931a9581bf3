// Root of every platform interface: objects are owned through it and destroyed through its
// virtual destructor.
#pragma once

#include <cstdint>

namespace Vdapi {

/// Timeout value (milliseconds) that means "wait for ever" in every IXp… operation.
inline constexpr uint32_t kXpInfinite = 0xFFFFFFFFu;

class IInterface {
public:
    virtual ~IInterface() = default;

protected:
    IInterface() = default;
    IInterface(const IInterface&) = delete;
    IInterface& operator=(const IInterface&) = delete;
};

} // namespace Vdapi
