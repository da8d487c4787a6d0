#pragma once
// Rounding to a whole number with halves going to the even neighbour, as the
// bridge's settings and read-outs have always been rounded (2.5 gives 2, 3.5
// gives 4). Not finite stays not finite; callers check their own ranges.

#include <cmath>

namespace quellon {

inline double roundHalfEven(double v) {
    const double f = std::floor(v);
    const double diff = v - f;
    if (diff > 0.5) return f + 1;
    if (diff < 0.5) return f;
    // An exact half, or not a number (every comparison above was false).
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

}  // namespace quellon
