// A 36-picture spin with the tethered camera: the real controller, page, turntable plug-in on the
// simulated board and TetheredCamera.so on a PTP camera emulated on the USB interface (run under
// libumockdev-preload), against the sum of the moves on the lines and the camera's own time.
#include "emulatedptpcamera.h"
#include "spinharness.h"

#include <chrono>
#include <cstdio>
#include <iostream>

namespace {

constexpr int images = 36;
// A camera's time per picture: exposure, then the file's transfer when it is fetched.
constexpr int exposureMs = 300;
constexpr int transferMs = 100;

} // namespace

int main(int argc, char *argv[])
{
    if (!EmulatedPtpCamera::available()) {
        std::cerr << "run under libumockdev-preload\n";
        return 1;
    }
    EmulatedPtpCamera &bus = EmulatedPtpCamera::instance();
    const int slot = bus.plug();
    bus.setTiming(slot, std::chrono::milliseconds(exposureMs), std::chrono::milliseconds(transferMs));

    SpinHarness harness("turntable:2", true);
    if (!harness.isValid() || !harness.writeEvenSpinSettings(images) || !harness.start(argc, argv)) {
        std::cerr << "the harness did not start\n";
        return 1;
    }
    if (!harness.chooseUsbCamera()) {
        std::cerr << "the emulated camera was not found or not opened\n";
        return 1;
    }
    double wallMs = 0;
    if (!harness.runSpin(&wallMs)) {
        std::cerr << "the spin did not finish\n";
        return 1;
    }
    harness.finish();

    // The table rests at least the camera's time between moves; within a move a count is a few ms.
    const LineDump dump = readLineDump(harness.dumpPath(), 100);
    double movesMs = 0;
    for (const LineDump::Move &move : dump.moves)
        movesMs += double(move.lastFallUs - move.firstRiseUs) / 1e3 + 1.0;
    const EmulatedPtpCamera::Counters counters = bus.counters(slot);
    const double cameraMs = double(counters.captures) * (exposureMs + transferMs);
    const double sum = movesMs + cameraMs;
    std::printf("row\ttethered spin (36 images, delays 0, speed 9), wall/(moves on the lines + camera time)\t%.4f"
                "\t<= 1.10\t\twall %.1f ms; moves %.1f ms in %zu moves; camera %.0f ms (%llu captures of %d + %d ms); "
                "the rest %.1f ms, %.1f ms a picture\n",
                wallMs / sum, wallMs, movesMs, dump.moves.size(), cameraMs,
                static_cast<unsigned long long>(counters.captures), exposureMs, transferMs, wallMs - sum,
                (wallMs - sum) / images);
    return dump.moves.size() == std::size_t(images) && counters.captures == std::uint64_t(images) ? 0 : 1;
}
