#pragma once

#include <chrono>

// The millisecond waits of the motor drivers, counted from the call. Ending a little late only
// lengthens a count; ending early could lose a step, so on Linux a wait never ends early.
namespace PreciseWait {

enum class Method {
    // Sleep to just before the deadline, then spin the rest: exact without holding a core.
    SleepThenSpin,
    // Spin the whole wait, as the drivers once did; kept so that a benchmark can compare.
    // The stepper's counts are timed by the chip instead (ft245rclock.h) unless its link asks
    // for one of these.
    Spin
};

// Process-wide; SleepThenSpin unless changed.
void setMethod(Method method);

void waitMilliseconds(unsigned n);
void waitMilliseconds(unsigned n, Method method);

// How long before its deadline a sleeping wait wakes up to spin; learnt from the lateness of
// earlier wake-ups, within fixed bounds.
std::chrono::microseconds sleepMargin();

} // namespace PreciseWait
