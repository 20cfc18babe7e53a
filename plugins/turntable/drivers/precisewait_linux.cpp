#include "precisewait.h"

#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace PreciseWait {
namespace {

using Nanoseconds = long long;

// The margin tracks the 99.5th percentile of wake-up lateness less a tolerance: a wake-up more
// than the tolerance past the margin raises it by a whole step, any other lowers it by a
// two-hundredth, so one long preemption moves it by one step only. A count a few tens of
// microseconds long is harmless, while covering the whole tail of a virtual machine's wake-ups
// would spin a fifth of every wait. Starting low is cheap, as the margin rises fast. The ceiling
// keeps a loaded machine, whose late wake-ups no margin would cover, from spinning most of a wait.
constexpr Nanoseconds initialMarginNs = 100'000;
constexpr Nanoseconds minimumMarginNs = 20'000;
constexpr Nanoseconds maximumMarginNs = 200'000;
constexpr Nanoseconds toleratedNs = 30'000;
constexpr Nanoseconds raiseNs = 20'000;
constexpr Nanoseconds lowerNs = raiseNs / 200;

std::atomic<Method> chosenMethod{Method::SleepThenSpin};
// Shared by all waiting threads: the lateness belongs to the machine, not to a thread.
std::atomic<Nanoseconds> marginNs{initialMarginNs};

Nanoseconds now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return Nanoseconds(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void spinUntil(Nanoseconds deadline)
{
    while (now() < deadline) {
    }
}

void lowerTimerSlack()
{
    // The default slack lets the kernel add up to 50 us to every wake-up of this thread.
    thread_local const bool lowered = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    (void)lowered;
}

void learn(Nanoseconds lateness)
{
    const Nanoseconds margin = marginNs.load(std::memory_order_relaxed);
    const Nanoseconds next = lateness > margin + toleratedNs ? margin + raiseNs : margin - lowerNs;
    marginNs.store(std::clamp(next, minimumMarginNs, maximumMarginNs), std::memory_order_relaxed);
}

void sleepThenSpin(Nanoseconds deadline)
{
    const Nanoseconds wake = deadline - marginNs.load(std::memory_order_relaxed);
    if (now() < wake) {
        lowerTimerSlack();
        const timespec at{time_t(wake / 1'000'000'000), long(wake % 1'000'000'000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
        }
        learn(now() - wake);
    }
    spinUntil(deadline);
}

} // namespace

void setMethod(Method method)
{
    chosenMethod.store(method);
}

void waitMilliseconds(unsigned n)
{
    waitMilliseconds(n, chosenMethod.load(std::memory_order_relaxed));
}

void waitMilliseconds(unsigned n, Method method)
{
    const Nanoseconds deadline = now() + Nanoseconds(n) * 1'000'000;
    if (method == Method::Spin)
        spinUntil(deadline);
    else
        sleepThenSpin(deadline);
}

std::chrono::microseconds sleepMargin()
{
    return std::chrono::microseconds(marginNs.load(std::memory_order_relaxed) / 1000);
}

} // namespace PreciseWait
