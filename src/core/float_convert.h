#pragma once
// Caller-supplied floats reach integers only through these helpers: C++
// leaves the conversion of NaN, infinities and out-of-range values undefined,
// so each gets a defined result here.
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace cl {

// Truncates toward zero; saturates at the integer type's limits; NaN gives 0.
template <class Int>
constexpr Int saturatingTruncate(double value) {
    static_assert(std::is_integral_v<Int>);
    if (std::isnan(value)) return 0;
    // Both limits are exactly representable or round outward as doubles, so
    // comparing against them decides the range before any conversion.
    constexpr double lowest = static_cast<double>(std::numeric_limits<Int>::lowest());
    constexpr double highest = static_cast<double>(std::numeric_limits<Int>::max());
    if (value <= lowest) return std::numeric_limits<Int>::lowest();
    if (value >= highest) return std::numeric_limits<Int>::max();
    return static_cast<Int>(value);
}

}  // namespace cl
