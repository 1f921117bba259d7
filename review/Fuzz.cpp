#include "review/Fuzz.h"
#include "review/Rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double TwoTo32 = 4294967296.0;
constexpr double TwoToMinus32 = 2.3283064365386963e-10;

// A number's low 32 bits as an unsigned integer, as JavaScript's ">>> 0" takes them.
double LowUnsigned32(double x)
{
    if (!std::isfinite(x))
        return 0;
    double m = std::fmod(std::trunc(x), TwoTo32);
    if (m < 0)
        m += TwoTo32;
    return m;
}

// Johannes Baagøe's Mash hash, whose state carries over from one call to the next.
class Mash {
public:
    double operator()(const std::string &data)
    {
        for (unsigned char c : data) {
            n += c;
            double h = 0.02519603282416938 * n;
            n = LowUnsigned32(h);
            h -= n;
            h *= n;
            n = LowUnsigned32(h);
            h -= n;
            n += h * TwoTo32;
        }
        return LowUnsigned32(n) * TwoToMinus32;
    }

private:
    double n = 4022871197.0;
};

// Baagøe's Alea generator: uniform numbers in [0, 1).
class Alea {
public:
    explicit Alea(const std::string &seed)
    {
        Mash mash;
        s0 = mash(" ");
        s1 = mash(" ");
        s2 = mash(" ");
        for (double *s : {&s0, &s1, &s2}) {
            *s -= mash(seed);
            if (*s < 0)
                *s += 1;
        }
    }
    double Next()
    {
        const double t = 2091639 * s0 + c * TwoToMinus32;
        s0 = s1;
        s1 = s2;
        c = double(int32_t(int64_t(t)));
        s2 = t - c;
        return s2;
    }

private:
    double c = 1, s0 = 0, s1 = 0, s2 = 0;
};

} // namespace

int FuzzedInterval(double interval, int elapsedDays, int maximumInterval, const std::string &seed)
{
    struct Range {
        double start, end, factor;
    };
    static constexpr Range ranges[] = {{2.5, 7, 0.15}, {7, 20, 0.1}, {20, INFINITY, 0.05}};
    double delta = 1;
    for (const Range &range : ranges)
        delta += range.factor * std::max(std::min(interval, range.end) - range.start, 0.0);
    interval = std::min(interval, double(maximumInterval));
    double low = std::max(2.0, RoundHalfUp(interval - delta));
    const double high = std::min(RoundHalfUp(interval + delta), double(maximumInterval));
    if (interval > elapsedDays)
        low = std::max(low, double(elapsedDays) + 1);
    low = std::min(low, high);
    return int(std::floor(Alea(seed).Next() * (high - low + 1) + low));
}
