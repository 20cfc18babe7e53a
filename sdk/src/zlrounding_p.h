#pragma once

#include <climits>
#include <cmath>

namespace ZLSdkPrivate {
// Nearest integer, halves away from zero, kept inside int (NaN gives INT_MIN, as lroundf does).
inline int roundToInt(float value)
{
    const long rounded = std::lroundf(value);
    if (rounded > INT_MAX)
        return INT_MAX;
    if (rounded < INT_MIN)
        return INT_MIN;
    return int(rounded);
}
}
