// The in-program spin viewer on a 36-frame spin of 24 MP JPEGs: time from opening to the first
// frame on screen, frames turned per second once they are read, and the process's peak memory
// while viewing. Usage: spinwright-bench-viewer [width height [keep-folder]]; prints
// tab-separated "row" lines.
#include "generatedspin.h"
#include "spinframecache.h"
#include "spinviewer.h"
#include "spinviewerlauncher.h"
#include "spinwrightresources.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>

namespace {

void row(const QString &figure, const QString &value, const QString &goal, const QString &details)
{
    std::printf("row\t%s\t%s\t-\t%s\t%s\n", qPrintable(figure), qPrintable(value), qPrintable(goal),
                qPrintable(details));
    std::fflush(stdout);
}

// Kilobytes of the process's peak resident set ("VmHWM").
qint64 peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Starts the peak over from the present resident set (Linux 4.0 and later).
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

} // namespace

// Opens spin in a viewer window and prints its rows, each figure prefixed with label.
int measure(const QString &spin, const QString &label, const QString &source)
{
    QQmlEngine engine;
    SpinViewerLauncher launcher(&engine, nullptr);
    const qint64 before = peakKb();
    resetPeak();
    const qint64 resident = peakKb();

    QElapsedTimer clock;
    clock.start();
    auto *window = qobject_cast<QQuickWindow *>(launcher.openSpin(spin));
    if (!window) {
        std::fprintf(stderr, "no viewer window\n");
        return 1;
    }
    auto *viewer = window->property("viewer").value<SpinViewer *>();
    int swapped = 0;
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&swapped] { ++swapped; });
    // The first frame is on screen once a frame was swapped after its picture was in.
    int swappedAtImage = -1;
    const bool shown = waitUntil([&] {
        if (swappedAtImage < 0 && !viewer->currentImage().isNull()) {
            swappedAtImage = swapped;
            window->update();
        }
        return swappedAtImage >= 0 && swapped > swappedAtImage;
    }, 30000);
    const qint64 firstMs = clock.elapsed();
    if (!shown) {
        row(label + QStringLiteral(": time to first frame"), QStringLiteral("not measured"), QStringLiteral("1 s"),
            QStringLiteral("the first frame never came"));
        return 1;
    }
    const QSize frameSize = viewer->currentImage().size();
    row(label + QStringLiteral(": time to first frame"), QStringLiteral("%1 ms").arg(firstMs), QStringLiteral("1 s"),
        source + QStringLiteral(", read to fit %1 x %2 (window 1000 x 760)").arg(frameSize.width()).arg(frameSize.height()));

    waitUntil([&] { return viewer->cache()->isIdle(); }, 120000);
    const qint64 allMs = clock.elapsed();
    row(label + QStringLiteral(": time to all 36 frames read"), QStringLiteral("%1 ms").arg(allMs), QStringLiteral("-"),
        QStringLiteral("%1 decoding threads").arg(qMax(2, QThread::idealThreadCount() - 1)));

    // Three turns, each step shown before the next.
    const int steps = 108;
    clock.restart();
    for (int i = 0; i < steps; ++i) {
        const int target = swapped + 1;
        viewer->step(1);
        if (!waitUntil([&] { return swapped >= target; }, 5000))
            break;
    }
    const double fps = steps * 1000.0 / qMax<qint64>(1, clock.elapsed());

    // The yardstick: the same window redrawn as often without turning, no texture uploaded.
    clock.restart();
    for (int i = 0; i < steps; ++i) {
        const int target = swapped + 1;
        window->update();
        if (!waitUntil([&] { return swapped >= target; }, 5000))
            break;
    }
    const double redraws = steps * 1000.0 / qMax<qint64>(1, clock.elapsed());
    row(label + QStringLiteral(": frames turned per second, all read"), QStringLiteral("%1").arg(fps, 0, 'f', 0),
        QStringLiteral("display rate (60)"),
        QStringLiteral("%1 steps, each waited for until swapped; %2 platform, %3 renderer, not held to vsync")
                .arg(steps).arg(QGuiApplication::platformName())
                .arg(qEnvironmentVariable("QT_QUICK_BACKEND", QStringLiteral("default"))));
    row(label + QStringLiteral(": window redraws per second, not turning"), QStringLiteral("%1").arg(redraws, 0, 'f', 0),
        QStringLiteral("-"), QStringLiteral("the same window and renderer redrawn without a new frame: what turning is measured against"));

    const qint64 peak = peakKb();
    row(label + QStringLiteral(": peak memory while viewing"),
        QStringLiteral("%1 MB").arg((peak - resident) / 1024.0, 0, 'f', 0), QStringLiteral("bounded"),
        QStringLiteral("resident-set peak above the %1 MB before opening (peak before: %2 MB); the cache holds %3 MB of frames, bound %4 frames")
                .arg(resident / 1024.0, 0, 'f', 0).arg(before / 1024.0, 0, 'f', 0)
                .arg(viewer->cache()->heldBytes() / 1e6, 0, 'f', 0).arg(viewer->cache()->capacity()));

    // Zoom: the shown frame at full resolution.
    clock.restart();
    viewer->requestZoom();
    waitUntil([&] { return !viewer->currentZoomImage().isNull(); }, 30000);
    row(label + QStringLiteral(": zoom to full resolution"), QStringLiteral("%1 ms").arg(clock.elapsed()),
        QStringLiteral("-"),
        QStringLiteral("%1 x %2 read; peak then %3 MB above opening")
                .arg(viewer->currentZoomImage().width()).arg(viewer->currentZoomImage().height())
                .arg((peakKb() - resident) / 1024.0, 0, 'f', 0));
    delete window;
    return 0;
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    initSpinwrightResources();
    const QSize size = argc >= 3 ? QSize(atoi(argv[1]), atoi(argv[2])) : QSize(6000, 4000);
    QTemporaryDir scratch;
    const QString root = argc >= 4 ? QString::fromLocal8Bit(argv[3]) : scratch.path();
    QDir().mkpath(root);

    GeneratedSpin generated = GeneratedSpin::evenlySpaced(36);
    generated.size = size;
    QString spin = QDir(root).filePath(QStringLiteral("viewer-bench-spin"));
    if (!QFileInfo::exists(QDir(spin).filePath(QStringLiteral("spin.json"))))
        spin = generated.write(root, QStringLiteral("viewer-bench-spin"));
    if (spin.isEmpty()) {
        std::fprintf(stderr, "the spin could not be generated in %s\n", qPrintable(root));
        return 1;
    }
    const QString source = QStringLiteral("36 frames of %1 x %2 (%3 MP) JPEG, flat colours")
                                   .arg(size.width()).arg(size.height()).arg(size.width() * size.height() / 1e6, 0, 'f', 1);
    if (measure(spin, QStringLiteral("Viewer"), source) != 0)
        return 1;

    // Flat colours decode faster than photographs: the same spin once more with every picture
    // replaced by one of a photograph's entropy (fine noise over a gradient), as a camera's
    // JPEG of 8-12 MB.
    const QString photo = QDir(root).filePath(QStringLiteral("viewer-bench-photo"));
    if (!QFileInfo::exists(QDir(photo).filePath(QStringLiteral("spin.json")))) {
        GeneratedSpin small = GeneratedSpin::evenlySpaced(36);
        if (small.write(root, QStringLiteral("viewer-bench-photo")).isEmpty())
            return 1;
        QImage picture(size, QImage::Format_RGB32);
        QRandomGenerator random(36);
        for (int y = 0; y < size.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                const int n = int(random.bounded(48));
                line[x] = qRgb(60 + x * 120 / size.width() + n, 80 + y * 100 / size.height() + n, 90 + n);
            }
        }
        const QString first = QDir(photo).filePath(QStringLiteral("first.jpg"));
        picture.save(first, "jpeg", 90);
        const QDir images(QDir(photo).filePath(QLatin1String("originalCapturedImages")));
        for (const QString &name : images.entryList(QDir::Files)) {
            QFile::remove(images.filePath(name));
            QFile::copy(first, images.filePath(name));
        }
        QFile::remove(first);
    }
    const qint64 fileSize = QFileInfo(QDir(photo).filePath(QStringLiteral("originalCapturedImages/01_0.0.jpg"))).size();
    return measure(photo, QStringLiteral("Viewer, photograph-like"),
                   QStringLiteral("36 frames of %1 x %2 JPEG of %3 MB each").arg(size.width()).arg(size.height())
                           .arg(fileSize / 1e6, 0, 'f', 1));
}

