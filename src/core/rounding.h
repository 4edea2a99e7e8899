#pragma once
#include <cmath>
#include <cstdint>

namespace core {

// Float-to-integer conversions round to nearest with halves to the even
// neighbour (the default FPU mode), unless a caller truncates on purpose.
inline double RoundEven(double x) { return std::nearbyint(x); }
inline int32_t RoundEvenInt(double x) {
    if (!(x == x)) return 0; // NaN from a garbage value must not become UB
    double r = std::nearbyint(x);
    if (r > 2147483647.0) return INT32_MAX;
    if (r < -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

} // namespace core
