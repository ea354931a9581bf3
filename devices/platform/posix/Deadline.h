// A point in monotonic time by which a wait must end, or none (wait for ever).
#pragma once

#include "devices/platform/IInterface.h"

#include <chrono>
#include <climits>
#include <cstdint>

namespace Vdapi {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    /// timeoutMs from now; kXpInfinite gives a deadline that never passes.
    static Deadline afterMs(uint32_t timeoutMs)
    {
        Deadline d;
        if (timeoutMs != kXpInfinite) {
            d.infinite_ = false;
            d.at_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
        }
        return d;
    }

    bool infinite() const { return infinite_; }
    bool passed() const { return !infinite_ && Clock::now() >= at_; }

    /// Remaining time as a poll(2) timeout: -1 for ever, else milliseconds rounded up, capped.
    int pollTimeoutMs() const
    {
        if (infinite_)
            return -1;
        const auto left = at_ - Clock::now();
        if (left <= Clock::duration::zero())
            return 0;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
    }

    Clock::time_point at() const { return at_; }

private:
    bool infinite_ = true;
    Clock::time_point at_{};
};

} // namespace Vdapi
