#pragma once

#include <cmath>

namespace movan {

// Rounds to the nearest integer, an exact half to the even neighbour, without
// depending on the floating-point environment's current rounding mode.
inline int roundHalfEven(double value)
{
    const double lower = std::floor(value);
    const double fraction = value - lower;
    int result = static_cast<int>(lower);
    if (fraction > 0.5 || (fraction == 0.5 && (result % 2) != 0))
        ++result;
    return result;
}

} // namespace movan
