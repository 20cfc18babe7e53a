#include "precisewait.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

// Windows keeps the multimedia timer's busy loop: its 1 ms tick is the clock the step timing
// was made for there. Both methods spin. Counted in whole ticks from the call, a wait may end up
// to a tick short of n ms.
namespace PreciseWait {
namespace {

std::atomic<Method> chosenMethod{Method::SleepThenSpin};

} // namespace

void setMethod(Method method)
{
    chosenMethod.store(method);
}

void waitMilliseconds(unsigned n, Method)
{
    waitMilliseconds(n);
}

void waitMilliseconds(unsigned n)
{
    // Raised once for the life of the process, never lowered again.
    static const bool oneMillisecondTick = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)oneMillisecondTick;
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < n) {
    }
}

std::chrono::microseconds sleepMargin()
{
    return std::chrono::microseconds(0);
}

} // namespace PreciseWait
