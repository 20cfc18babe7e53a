// Spin overhead: an 8-image spin with no delays through the real controller, page and turntable
// plug-in on the simulated board, against the moves' ideal durations plus the shutter releases.
// The plug-in carries a simulator of its own, so the step counts come from its line dump.
#include "spinharness.h"
#include "steptrain.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

constexpr std::uint32_t gemlineCounts = 6400;
constexpr std::uint32_t baseDelayMs = 1;  // speed 9
constexpr double shutterMs = 1000.0;      // two stages of 500 ms
constexpr int images = 8;

} // namespace

int main(int argc, char *argv[])
{
    SpinHarness harness("turntable:2", true);
    if (!harness.isValid() || !harness.writeEvenSpinSettings(images) || !harness.start(argc, argv))
        return 1;

    double wallMs = 0;
    if (!harness.runSpin(&wallMs)) {
        std::cerr << "the spin did not finish\n";
        return 1;
    }
    harness.finish();

    const LineDump dump = readLineDump(harness.dumpPath());
    if (dump.moves.size() != std::size_t(images)) {
        std::cerr << "expected " << images << " moves in the dump, found " << dump.moves.size() << '\n';
        return 1;
    }
    double idealMoves = 0;
    double movesMs = 0;
    std::string counts;
    for (const LineDump::Move &move : dump.moves) {
        idealMoves += steptrain::idealMoveMs(move.counts, gemlineCounts, 1.0, baseDelayMs);
        // The first count's low time lies before its rise.
        movesMs += double(move.lastFallUs - move.firstRiseUs) / 1e3 + 1.0;
        counts += (counts.empty() ? "" : "+") + std::to_string(move.counts);
    }
    const double ideal = idealMoves + images * shutterMs;
    const double shutters = double(dump.shutterUs) / 1e3;
    std::printf("row\tspin overhead (8 images, delays 0, speed 9), wall/(ideal moves + 8 shutters)\t%.4f\t<= 1.02\t\t"
                "wall %.1f ms, ideal %.1f ms (counts %s); on the lines: moves %.1f ms (ideal %.1f), "
                "shutters %.1f ms (ideal %.0f), the rest %.1f ms\n",
                wallMs / ideal, wallMs, ideal, counts.c_str(), movesMs, idealMoves, shutters, images * shutterMs,
                wallMs - movesMs - shutters);
    return 0;
}
