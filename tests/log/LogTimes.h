// A fixed moment for log-line tests: 2026-12-05T14:07:09.042Z in 100-ns units since 1970.
#pragma once

#include <cstdint>

constexpr std::int64_t december5th2026 = std::int64_t{1796479629} * 10'000'000 + 420'000;
