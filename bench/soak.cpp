// Soak: many short spins in one process through the real controller and plug-in on the
// simulated board; the resident set and the thread count must settle after a warm-up.
// Usage: spinwright-soak [spins, default 200]
#include "spinharness.h"
#include "zlplugin.h"

#include <QQmlEngine>

#include <QFile>
#include <QJsonArray>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

long statusField(const char *name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    const int spins = argc > 1 ? std::max(20, std::atoi(argv[1])) : 200;
    constexpr int warmUp = 10;
    // A custom table of 200 counts per revolution and manual capture: a spin takes well under a second.
    SpinHarness harness("plain", false);
    const QJsonObject custom{{"stepsPerRevolutionText", "200"}, {"isClockwiseActiveHigh", true},
                             {"isMotorEnableActiveHigh", true}};
    if (!harness.isValid()
        || !harness.writeSettings(QStringLiteral("TurntableSpins.json"),
                                  {{"shootingAnglesList", QJsonArray{"0.00", "180.00"}}, {"shootingMode", 0},
                                   {"preCaptureDelay", 0}, {"postCaptureDelay", 0}, {"clockwise", true},
                                   {"isManualCapture", true}, {"videoDegrees", 360}})
        || !harness.writeSettings(QStringLiteral("MarvolixTurntable-v3.json"),
                                  {{"rotationSpeed", 9}, {"isLockTableWhenIdle", false}, {"rampUpDegrees", "1.00"},
                                   {"customTurntableAdvancedSettings", custom}})
        || !harness.start(1, argv))
        return 1;

    long warmRss = 0, warmThreads = 0, peakRss = 0, peakThreads = 0;
    double firstMs = 0, lastMs = 0;
    for (int i = 0; i < spins; ++i) {
        double wallMs = 0;
        // The message alone, to tell its share of any growth from the spins'.
        if (qEnvironmentVariableIsSet("SOAK_MESSAGES_ONLY")) {
            if (!harness.showAndCloseMessage())
                return 1;
        } else if (!harness.runSpin(&wallMs, 120000)) {
            std::cerr << "spin " << i + 1 << " did not finish\n";
            return 1;
        }
        if (qEnvironmentVariableIsSet("SOAK_COLLECT_GARBAGE"))
            globalQmlEngine()->collectGarbage();
        const long rss = statusField("VmRSS");
        const long threads = statusField("Threads");
        if (i + 1 == warmUp) {
            warmRss = rss;
            warmThreads = threads;
            firstMs = wallMs;
        }
        if (i + 1 > warmUp) {
            peakRss = std::max(peakRss, rss);
            peakThreads = std::max(peakThreads, threads);
        }
        lastMs = wallMs;
        if ((i + 1) % 20 == 0)
            std::printf("spin %d: RSS %ld KiB, heap in use %zu KiB, %ld threads, %d closed messages not yet destroyed\n",
                        i + 1, rss, mallinfo2().uordblks / 1024, threads, harness.undestroyedMessages());
    }
    // For a heap profiler: whatever the spins left behind is still allocated at exit.
    if (qEnvironmentVariableIsSet("SOAK_EXIT_WITHOUT_CLEANUP"))
        std::_Exit(0);
    const long endRss = statusField("VmRSS");
    const long endThreads = statusField("Threads");
    const int messages = harness.openMessages();
    harness.finish();

    // Bounds: the resident set may grow by a tenth after the warm-up, threads by two.
    const bool rssOk = peakRss <= warmRss + warmRss / 10;
    const bool threadsOk = peakThreads <= warmThreads + 2;
    std::printf("row\tsoak, %d spins in one process: peak RSS after spin %d / RSS at spin %d\t%.4f\t"
                "RSS %ld -> peak %ld -> end %ld KiB; threads %ld -> peak %ld -> end %ld; "
                "spin %d took %.0f ms, the last %.0f ms; %d message(s) left open\t"
                "RSS <= 1.10, threads <= +2\n",
                spins, warmUp, warmUp, double(peakRss) / double(warmRss), warmRss, peakRss, endRss, warmThreads,
                peakThreads, endThreads, warmUp, firstMs, lastMs, messages);
    return rssOk && threadsOk ? 0 : 3;
}
