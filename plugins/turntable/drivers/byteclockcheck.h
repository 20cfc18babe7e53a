#pragma once

#include "d2xx.h"

// The self-check of the byte clock's assumption (ft245rclock.h): times a long block on the chip
// and compares the period seen with the one assumed. The block repeats the byte given, so the
// lines hold still; a block of 20000 bytes takes about two seconds on a chip that agrees.
class ByteClockCheck
{
public:
    struct Result
    {
        bool done = false;         // the block was written
        double measuredUs = 0.0;   // per byte
        double assumedUs = 0.0;
        // Within 10 % of the assumption, or of the other reading (a quarter of it).
        bool agrees = false;
        bool otherReading = false;
    };

    // Programs the step trains' divisor on an open chip in bit-bang mode, then writes `bytes`
    // copies of `level`.
    static Result run(FT_HANDLE handle, unsigned char level, unsigned bytes = 20000);
};
