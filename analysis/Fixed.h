#pragma once

#include <cmath>
#include <cstdint>

// The analysis's exact arithmetic on stored points: a 32-bit float point
// value as 64-bit fixed point with 32 fraction bits. Every float from 2^-9
// up to the limit is exact in it, and sums of such values do not depend on
// the order of adding, so equal totals are equal.
namespace analysis {

using Fixed = std::int64_t;
using Wide = __int128; // sums of Fixed over all sheets

inline constexpr double FixedOne = 4294967296.0; // 2^32
// Stored points beyond this are not points a run writes.
inline constexpr double PointsLimit = 1048576.0; // 2^20

// The value rounded to the fixed grid; the caller checks the limit.
[[nodiscard]] inline Fixed ToFixed(double points) {
    const double v = points * FixedOne;
    return static_cast<Fixed>(v + std::copysign(0.5, v));
}

[[nodiscard]] inline double FromFixed(Fixed f) {
    return static_cast<double>(f) / FixedOne;
}

// num / den, both exact integers, rounded once at extended precision.
[[nodiscard]] inline double Quotient(Wide num, Wide den) {
    return static_cast<double>(static_cast<long double>(num) / static_cast<long double>(den));
}

} // namespace analysis
