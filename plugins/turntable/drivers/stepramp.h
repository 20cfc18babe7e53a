#pragma once

#include <cstdint>

// The stepper's speed rule: the high time of each count of a move, from a linear ramp at both
// ends and the base delay the user's speed gives, re-read at every count so that a speed change
// takes effect at once. Every way of timing the counts takes its counts from here.
class StepRamp
{
public:
    // totalSteps 0: a continuous move, which only speeds up.
    StepRamp(std::uint32_t totalSteps, std::uint32_t countsPerRevolution, double rampDegrees,
             std::uint32_t basePulseMs);

    // The whole milliseconds the step line stays high in the next count, given the base delay
    // asked for now and the counts of the move before this one; then counts it.
    unsigned nextHighMs(std::uint32_t pulseMs, std::uint32_t countsBefore);
    // A counted move whose counts have all been given out.
    bool complete() const { return total != 0 && remaining == 0; }
    // Counts given out but taken back before the chip had them: the move goes on from `made`.
    // Only at a speed change, whose new delay then replaces the ramp's as the rule says.
    void resume(std::uint32_t made) { remaining = total != 0 ? total - made : 0; }

private:
    std::uint32_t total;
    std::uint32_t remaining;
    std::uint32_t basePulse;
    std::uint32_t seenPulse;
    float rampCounts;
    float increment;
    double slowest;
    double delay;
    double floorDelay;
};
