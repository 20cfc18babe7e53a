#pragma once

#include <chrono>
#include <cstdint>

// The FT245R's bit-bang byte clock: the one place that states how a divisor becomes a byte period.
//
// In asynchronous bit-bang mode each byte written is put on the pins for one period of the
// baud-rate generator, whose divisor is n + k/8 (14 bits of n, a 3-bit code for k). Public
// sources disagree on the rate: FTDI's bit-bang note says 16 times the baud rate (48 MHz / divisor),
// timing tests on the libftdi list and LIRC's FT232R code found 4 times (12 MHz / divisor). We
// take 12 MHz; the divisor for 100 us is then 1200, and 25 us would mean the other reading.
// `spinwright-byteclock` times a long block on a real chip once to tell (user guide, "Checking
// the byte period"). TN_120: the R series' bit-bang pulse widths jitter by a fraction of the
// divided clock, which is not synchronous with USB; a few microseconds against 1 ms phases.
namespace Ft245rClock {

constexpr double assumedByteClockHz = 12e6;
// The transmit FIFO: a write returns once its last byte is in it.
constexpr unsigned fifoBytes = 256;
constexpr double otherReadingByteClockHz = 48e6;
// One step train byte: 100 us, ten to the millisecond of the step timing.
constexpr unsigned bytePeriodUs = 100;
constexpr unsigned bytesPerMs = 1000 / bytePeriodUs;
constexpr std::uint16_t stepTrainDivisor = std::uint16_t(assumedByteClockHz * bytePeriodUs / 1e6);
static_assert(stepTrainDivisor == 1200, "12 MHz / 1200 is 100 us a byte");

// The divisor, in eighths, that a SIO_SET_BAUDRATE value/index pair (as FTDI documents it for
// the R series) programs: n in bits 0-13, the eighths code in bits 14-16; 0 and 1 stand for
// divisors 1 and 1.5 (3 and 2 MBaud).
inline std::uint32_t divisorEighths(std::uint32_t encoded)
{
    if (encoded <= 1)
        return encoded == 0 ? 8 : 12;
    static const std::uint32_t eighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
    return (encoded & 0x3FFF) * 8 + eighths[(encoded >> 14) & 7];
}

// The eighths of the divisor the vendor's FT_SetBaudRate picks for a baud rate: 3 MHz / baud.
inline std::uint32_t divisorEighthsForBaud(std::uint32_t baud)
{
    return baud == 0 ? 0 : std::uint32_t((24000000ull + baud / 2) / baud);
}

inline std::chrono::nanoseconds bytePeriod(std::uint32_t eighths, double clockHz = assumedByteClockHz)
{
    return std::chrono::nanoseconds(std::int64_t(double(eighths) / 8.0 * 1e9 / clockHz + 0.5));
}

} // namespace Ft245rClock
