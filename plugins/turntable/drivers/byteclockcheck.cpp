#include "byteclockcheck.h"

#include "ft245rclock.h"

#include <chrono>
#include <cmath>
#include <vector>

ByteClockCheck::Result ByteClockCheck::run(FT_HANDLE handle, unsigned char level, unsigned bytes)
{
    Result result;
    result.assumedUs = Ft245rClock::bytePeriodUs;
    if (bytes <= 2 * Ft245rClock::fifoBytes || FT_SetDivisor(handle, Ft245rClock::stepTrainDivisor) != FT_OK)
        return result;
    const std::vector<UCHAR> block(bytes, level);
    const auto start = std::chrono::steady_clock::now();
    // Back once all but the FIFO's worth have played: the first byte went out at once.
    if (FTX_WriteQueued(handle, block.data(), DWORD(block.size())) != FT_OK || FTX_WaitQueued(handle) != FT_OK)
        return result;
    const double elapsedUs = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    result.done = true;
    result.measuredUs = elapsedUs / double(bytes - Ft245rClock::fifoBytes - 1);
    const double other = result.assumedUs * Ft245rClock::assumedByteClockHz / Ft245rClock::otherReadingByteClockHz;
    result.agrees = std::abs(result.measuredUs - result.assumedUs) <= 0.1 * result.assumedUs;
    result.otherReading = std::abs(result.measuredUs - other) <= 0.1 * other;
    return result;
}
