#include "stepramp.h"

#include <algorithm>

namespace {

// The slowest pulse of a ramp is this much longer than the base delay.
constexpr double rampExtraMs = 10.0;

} // namespace

StepRamp::StepRamp(std::uint32_t totalSteps, std::uint32_t countsPerRevolution, double rampDegrees,
                   std::uint32_t basePulseMs)
    : total(totalSteps)
    , remaining(totalSteps)
    , basePulse(basePulseMs)
    , seenPulse(basePulseMs)
    , rampCounts(float(double(countsPerRevolution) * (rampDegrees / 360.0)))
    // In single precision, as the ramp length is: 10 / 17.78f is 0.5625 exactly, the same sum in
    // double falls short of whole milliseconds and shortens a count near the end of the ramp.
    , increment(rampDegrees != 0.0 ? float(rampExtraMs) / rampCounts : 0.0f)
    , slowest(basePulseMs + rampExtraMs)
    , delay(rampDegrees != 0.0 ? slowest : basePulseMs)
    , floorDelay(basePulseMs)
{
}

unsigned StepRamp::nextHighMs(std::uint32_t pulseMs, std::uint32_t countsBefore)
{
    if (pulseMs != seenPulse) {
        seenPulse = pulseMs;
        floorDelay = pulseMs;
        delay = pulseMs;
    }
    if (remaining != 0 && rampCounts >= remaining && slowest > delay)
        delay += increment;
    if (rampCounts >= countsBefore && delay > basePulse)
        delay -= increment;
    delay = std::max(floorDelay, delay);
    if (total != 0 && remaining != 0)
        --remaining;
    return unsigned(delay);
}
