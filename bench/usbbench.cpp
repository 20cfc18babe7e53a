// What a real full-speed board does with each way of timing the counts: the FT245R emulated on
// the USB interface, reached through libusb and libftdi1, with every transfer costing a 1 ms
// frame. A quarter of a Gemline turn at speed 9 (1600 counts, no ramp: 3.2 s by the settings).
// scripts/bench runs it with LD_PRELOAD=libumockdev-preload.so.0; prints "row" lines as
// spinwright-bench-motion does.
#include "d2xxsim.h"
#include "emulatedft245r.h"
#include "steptrain.h"
#include "zlsteppermotor.h"

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

using Timing = FTDIController::StepTiming;

struct Ended : FTDIControllerOwner
{
    std::atomic<bool> done{false};
    void rotationEnded() override { done = true; }
};

} // namespace

int main()
{
    constexpr std::uint32_t counts = 1600;
    const struct
    {
        Timing timing;
        const char *name;
    } methods[] = {{Timing::ChipClock, "chip clock"}, {Timing::SleepThenSpin, "sleep then spin"}, {Timing::BusyLoop, "busy loop"}};
    EmulatedFt245r &chip = EmulatedFt245r::instance();
    for (const auto &method : methods) {
        d2xxsim::reset();
        d2xxsim::attach(d2xxsim::turntableDevice(2));
        chip.costFrames(0, true);
        Ended ended;
        ZLStepperMotor motor(&ended);
        motor.stepTiming = method.timing;
        if (!motor.open(0, nullptr)) {
            std::fprintf(stderr, "cannot open the emulated board\n");
            return 1;
        }
        motor.countsPerRevolution = 6400;
        motor.rampUpDegrees = 0.0;
        motor.pulseDelayMs = 1;
        motor.setSteps(int(counts));
        motor.prepareRotation();
        d2xxsim::clearWrites(0);
        chip.clearTransfers(0);
        const auto start = std::chrono::steady_clock::now();
        motor.startRotation();
        // The worker blocks in the kernel; this thread only looks now and then.
        while (!ended.done)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto transfers = chip.transfers(0);
        const auto pulses = d2xxsim::pulses(0, 2);
        motor.stopRotation();
        FT_Close(motor.handle);
        if (pulses.size() != counts) {
            std::fprintf(stderr, "expected %u step pulses, the board made %zu\n", counts, pulses.size());
            return 1;
        }
        const double took = steptrain::msBetween(start, pulses.back().fall);
        const double ideal = counts * 2.0;
        const bool chipClock = method.timing == Timing::ChipClock;
        std::printf("row\tGemline turn at speed 9, 1 ms a transfer, / settings, %s\t%.4f\t%s\t%s\t%.0f ms for "
                    "%u counts against %.0f ms (a quarter turn; the whole one scales alike); %.2f transfers a "
                    "count (%llu control, %llu bulk)\n",
                    method.name, took / ideal, chipClock ? "<= 1.01" : "(compare)", chipClock ? "<= 1.01" : "", took,
                    counts, ideal, double(transfers.control + transfers.bulkOut) / counts,
                    (unsigned long long)transfers.control, (unsigned long long)transfers.bulkOut);
        std::fflush(stdout);
    }
    return 0;
}
