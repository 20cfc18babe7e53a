// Spin overhead: an 8-image spin with no delays through the real controller, page and turntable
// plug-in on the simulated board, against the moves' ideal durations plus the shutter releases.
// The plug-in carries a simulator of its own, so the step counts come from its line dump.
#include "spinharness.h"
#include "steptrain.h"

#include <QJsonArray>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace {

constexpr std::uint32_t gemlineCounts = 6400;
constexpr std::uint32_t baseDelayMs = 1;  // speed 9
constexpr double shutterMs = 1000.0;      // two stages of 500 ms
constexpr int images = 8;

// Counts of each move: rising edges of the step line (line 2 of the first board, wire "#"),
// split where the line rests longer than 400 ms (a shutter release takes a second).
std::vector<std::uint32_t> movesInDump(const QString &path)
{
    std::ifstream in(path.toStdString());
    std::string line;
    std::vector<std::uint32_t> moves;
    long long now = 0;
    long long lastRise = -1;
    bool defined = false;
    while (std::getline(in, line)) {
        if (!defined) {
            defined = line.rfind("$enddefinitions", 0) == 0;
            continue;
        }
        if (line.empty())
            continue;
        if (line[0] == '#') {
            now = std::atoll(line.c_str() + 1);
        } else if (line == "1#") {
            if (lastRise < 0 || now - lastRise > 400000)
                moves.push_back(0);
            ++moves.back();
            lastRise = now;
        }
    }
    return moves;
}

} // namespace

int main(int argc, char *argv[])
{
    SpinHarness harness("turntable:2", true);
    QJsonArray angles;
    for (int i = 0; i < images; ++i)
        angles.append(QString::number(360.0 / images * i, 'f', 2));
    if (!harness.isValid()
        || !harness.writeSettings(QStringLiteral("TurntableSpins.json"),
                                  {{"shootingAnglesList", angles}, {"shootingMode", 0}, {"preCaptureDelay", 0},
                                   {"postCaptureDelay", 0}, {"clockwise", true}, {"isManualCapture", false},
                                   {"videoDegrees", 360}})
        || !harness.writeSettings(QStringLiteral("MarvolixTurntable-v3.json"),
                                  {{"rotationSpeed", 9}, {"isLockTableWhenIdle", false}, {"rampUpDegrees", "1.00"}})
        || !harness.start(argc, argv))
        return 1;

    double wallMs = 0;
    if (!harness.runSpin(&wallMs)) {
        std::cerr << "the spin did not finish\n";
        return 1;
    }
    harness.finish();

    const std::vector<std::uint32_t> moves = movesInDump(harness.dumpPath());
    if (moves.size() != std::size_t(images)) {
        std::cerr << "expected " << images << " moves in the dump, found " << moves.size() << '\n';
        return 1;
    }
    double ideal = images * shutterMs;
    std::string counts;
    for (std::uint32_t n : moves) {
        ideal += steptrain::idealMoveMs(n, gemlineCounts, 1.0, baseDelayMs);
        counts += (counts.empty() ? "" : "+") + std::to_string(n);
    }
    std::printf("row\tspin overhead (8 images, delays 0, speed 9), wall/(ideal moves + 8 shutters)\t%.4f\t"
                "wall %.1f ms, ideal %.1f ms (counts %s)\t<= 1.02\n",
                wallMs / ideal, wallMs, ideal, counts.c_str());
    return 0;
}
