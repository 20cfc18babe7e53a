// spinwright-byteclock: checks, once, on a real board, the byte period the step trains assume
// (ft245rclock.h). Opens the first FT245R, puts all lines low (the motor unpowered, the shutter
// let go), writes 20000 such bytes and times them; the user guide, "Checking the byte period",
// says what to do with the answer. Exit code 0 when the chip agrees.
#include "byteclockcheck.h"
#include "d2xx.h"
#include "ft245rclock.h"

#include <cstdio>

int main()
{
    FT_HANDLE handle = nullptr;
    if (FT_Open(0, &handle) != FT_OK) {
        std::printf("No FT245R board could be opened (is it plugged in, and may this user open it?)\n");
        return 2;
    }
    FT_SetBitMode(handle, 0xFF, FT_BITMODE_RESET);
    FT_SetBitMode(handle, 0xFF, FT_BITMODE_ASYNC_BITBANG);
    const ByteClockCheck::Result result = ByteClockCheck::run(handle, 0x00);
    FT_Close(handle);
    if (!result.done) {
        std::printf("The board did not take the block; nothing was measured.\n");
        return 2;
    }
    std::printf("Byte period: %.1f us measured, %.0f us assumed (12 MHz / divisor %u).\n", result.measuredUs,
                result.assumedUs, unsigned(Ft245rClock::stepTrainDivisor));
    if (result.agrees) {
        std::printf("The chip agrees: step trains play at the speeds the settings give.\n");
        return 0;
    }
    if (result.otherReading)
        std::printf("The chip divides 48 MHz: step trains would play four times too fast. Do not run spins on it; report it.\n");
    else
        std::printf("Neither reading fits; the link may be too slow to feed the chip. Do not run spins on it; report it.\n");
    return 1;
}
