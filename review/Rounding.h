#pragma once
// Rounding as the reference scheduler's arithmetic does it.
#include <cmath>

// Halves go up (std::round would take -2.5 to -3).
inline double RoundHalfUp(double x)
{
    const double down = std::floor(x);
    return x - down >= 0.5 ? down + 1 : down;
}

// The model rounds most intermediate values to eight decimals.
inline double Round8(double x) { return RoundHalfUp(x * 1e8) / 1e8; }
