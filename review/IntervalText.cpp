#include "review/IntervalText.h"

#include <cmath>
#include <cstdio>

namespace {
// One decimal, without a trailing ".0".
std::string OneDecimal(double value, const char *unit)
{
    char text[32];
    const double rounded = std::round(value * 10) / 10;
    if (rounded == std::floor(rounded))
        std::snprintf(text, sizeof text, "%.0f%s", rounded, unit);
    else
        std::snprintf(text, sizeof text, "%.1f%s", rounded, unit);
    return text;
}
} // namespace

std::string IntervalText(ReviewTime from, ReviewTime to)
{
    const double seconds = double(std::max<ReviewTime>(0, to - from));
    const double minutes = seconds / 60, hours = minutes / 60, days = hours / 24;
    if (seconds < 60)
        return std::to_string(int64_t(seconds)) + "s";
    if (minutes < 59.5)
        return std::to_string(int64_t(std::round(minutes))) + "m";
    if (hours < 23.95)
        return OneDecimal(hours, "h");
    if (days < 29.5)
        return std::to_string(int64_t(std::round(days))) + "d";
    if (days < 365)
        return OneDecimal(days / 30, "mo");
    return OneDecimal(days / 365, "y");
}
