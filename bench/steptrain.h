#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

// What a counted stepper move should take: the high time of each count from the ramp rule, and
// the whole count (1 ms low plus the high time). Kept apart from the driver on purpose, so that
// a change of the driver's arithmetic shows up as a fidelity loss.
namespace steptrain {

inline std::vector<unsigned> idealHighMs(std::uint32_t counts, std::uint32_t countsPerRevolution,
                                         double rampDegrees, std::uint32_t baseDelayMs)
{
    const float g = float(double(countsPerRevolution) * (rampDegrees / 360.0));
    const double slowest = baseDelayMs + 10.0;
    const float increment = rampDegrees != 0.0 ? 10.0f / g : 0.0f;
    double d = rampDegrees != 0.0 ? slowest : baseDelayMs;
    std::uint32_t remaining = counts;
    std::vector<unsigned> high;
    high.reserve(counts);
    for (std::uint32_t done = 0; done < counts; ++done) {
        if (remaining != 0 && g >= remaining && slowest > d)
            d += increment;
        if (g >= done && d > baseDelayMs)
            d -= increment;
        d = std::max(double(baseDelayMs), d);
        high.push_back(unsigned(d));
        --remaining;
    }
    return high;
}

inline double idealMoveMs(std::uint32_t counts, std::uint32_t countsPerRevolution, double rampDegrees,
                          std::uint32_t baseDelayMs)
{
    double total = 0;
    for (unsigned high : idealHighMs(counts, countsPerRevolution, rampDegrees, baseDelayMs))
        total += 1.0 + high;
    return total;
}

// Value at fraction q (0 to 1) of sorted values.
inline double percentile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::size_t(q * double(values.size() - 1) + 0.5)];
}

inline double msBetween(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

} // namespace steptrain
