// The tethered camera on a PTP camera emulated on the USB interface, through the real
// libgphoto2: the time a capture costs beyond the camera's own, a 25 MB RAW file's download
// rate, and the CPU live view takes at 15 frames a second.
// Usage: spinwright-bench-tethered (under libumockdev-preload); prints tab-separated "row" lines.
#include "emulatedptpcamera.h"
#include "ptptestimage.h"
#include "zltetheredcamera.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {

void row(const QString &figure, const QString &value, const QString &details)
{
    std::printf("row\t%s\t%s\t-\t-\t%s\n", qPrintable(figure), qPrintable(value), qPrintable(details));
    std::fflush(stdout);
}

// What the camera reports, waited for without an event loop: the reports come from its thread.
struct Reports
{
    std::mutex lock;
    std::condition_variable changed;
    int found = -1;
    int opened = 0;
    int finished = 0;
    bool lastOk = false;
    int frames = 0;

    void install()
    {
        using Hooks = ZLCameraHardware::CameraHardwarePrivate;
        Hooks::availableCamerasDidSearched = [this](ZLCameraHardware *, const std::list<std::string> &names) {
            bump([&] { found = int(names.size()); });
        };
        Hooks::hardwareOpenSucceeded = [this](ZLCameraHardware *, size_t) { bump([&] { ++opened; }); };
        Hooks::hardwareDisconnected = [](ZLCameraHardware *, size_t) {};
        Hooks::capturedImageSaved = [](ZLCameraHardware *, QString) {};
        Hooks::captureFinished = [this](ZLCameraHardware *, QString, bool ok) {
            bump([&] {
                ++finished;
                lastOk = ok;
            });
        };
        Hooks::previewInfoIsChanged = [](ZLCameraHardware *, const ZLImageInfo &) {};
        Hooks::previewPixelsAcquired = [this](ZLCameraHardware *, const void *) { bump([&] { ++frames; }); };
    }
    template<typename F>
    void bump(F change)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            change();
        }
        changed.notify_all();
    }
    template<typename P>
    bool waitFor(P done, std::chrono::seconds limit = 120s)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, limit, done);
    }
};

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The camera worker's CPU time, found by its thread name.
double workerCpuSeconds()
{
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "tethered-cam")
            continue;
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!stat.open(QIODevice::ReadOnly))
            return 0.0;
        const QByteArray text = stat.readAll();
        // Fields after the name's closing parenthesis: utime and stime are the 12th and 13th.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13)
            return 0.0;
        return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return 0.0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!EmulatedPtpCamera::available()) {
        row(QStringLiteral("Tethered camera"), QStringLiteral("not measured"), QStringLiteral("needs libumockdev-preload"));
        return 0;
    }
    EmulatedPtpCamera &emulator = EmulatedPtpCamera::instance();
    const int slot = emulator.plug();
    // On the card before the camera is opened: libgphoto2 lists the card once, at the first look.
    std::vector<std::uint8_t> raw(25 * 1000 * 1000);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = std::uint8_t(i * 31 + (i >> 11));
    emulator.addObject(slot, "DCIM/100SPINW", {"BIG_0001.CR3", raw});
    Reports reports;
    reports.install();
    QTemporaryDir scratch;
    ZLTetheredCamera camera;
    camera.searchAvailableCameras();
    camera.openHardware(0);
    if (!reports.waitFor([&] { return reports.opened == 1; })) {
        row(QStringLiteral("Tethered camera"), QStringLiteral("not measured"), camera.lastError());
        return 1;
    }

    // Per picture: trigger to captureFinished, less what the emulator spends on purpose.
    const std::vector<std::uint8_t> card = PtpTestImage::testCard(1280, 960, 1);
    emulator.setCaptureGenerator(slot, [&card](int n) {
        return std::vector<EmulatedPtpCamera::File>{{"IMG_" + std::to_string(n) + ".JPG", card}};
    });
    const auto exposure = 300ms, transfer = 100ms;
    emulator.setTiming(slot, exposure, transfer);
    constexpr int pictures = 20;
    std::vector<double> overheads;
    for (int i = 0; i < pictures; ++i) {
        QElapsedTimer timer;
        timer.start();
        const int before = reports.finished;
        if (!camera.captureImage(scratch.filePath(QStringLiteral("shot%1").arg(i)))
            || !reports.waitFor([&] { return reports.finished > before; }) || !reports.lastOk) {
            row(QStringLiteral("Tethered capture"), QStringLiteral("not measured"), camera.lastError());
            return 1;
        }
        overheads.push_back(double(timer.nsecsElapsed()) / 1e6 - double((exposure + transfer).count()));
    }
    row(QStringLiteral("Tethered capture: overhead per picture"),
        QStringLiteral("%1 ms").arg(median(overheads), 0, 'f', 1),
        QStringLiteral("median of %1 captures of a %2 KB JPEG, trigger to captureFinished less the emulated "
                       "%3 ms exposure and %4 ms transfer delay; min %5 ms, max %6 ms")
            .arg(pictures)
            .arg(card.size() / 1024)
            .arg(exposure.count())
            .arg(transfer.count())
            .arg(*std::min_element(overheads.begin(), overheads.end()), 0, 'f', 1)
            .arg(*std::max_element(overheads.begin(), overheads.end()), 0, 'f', 1));

    // A 25 MB RAW file, from the card and as a capture (download and store), no emulated delay.
    emulator.setTiming(slot, 0ms, 0ms);
    std::vector<double> rates;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!camera.downloadDcimItem(QStringLiteral("/store_00010001/DCIM/100SPINW/BIG_0001.CR3"),
                                     scratch.filePath(QStringLiteral("big%1.cr3").arg(i)))) {
            row(QStringLiteral("25 MB RAW download"), QStringLiteral("not measured"), camera.lastError());
            return 1;
        }
        rates.push_back(double(raw.size()) / 1e6 / (double(timer.nsecsElapsed()) / 1e9));
    }
    std::vector<double> captureRates;
    emulator.setCaptureGenerator(slot, [&raw](int n) {
        return std::vector<EmulatedPtpCamera::File>{{"RAW_" + std::to_string(n) + ".CR3", raw}};
    });
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        const int before = reports.finished;
        if (!camera.captureImage(scratch.filePath(QStringLiteral("raw%1").arg(i)))
            || !reports.waitFor([&] { return reports.finished > before; }) || !reports.lastOk) {
            row(QStringLiteral("25 MB RAW capture"), QStringLiteral("not measured"), camera.lastError());
            return 1;
        }
        captureRates.push_back(double(raw.size()) / 1e6 / (double(timer.nsecsElapsed()) / 1e9));
    }
    row(QStringLiteral("25 MB RAW download"), QStringLiteral("%1 MB/s").arg(median(rates), 0, 'f', 1),
        QStringLiteral("median of 3 downloadDcimItem calls to a file (best %1 MB/s); as a whole capture "
                       "(trigger, download, store): median %2 MB/s. libusb busy-polls the emulated device, "
                       "so this is what the software can carry, not what a cable does")
            .arg(*std::max_element(rates.begin(), rates.end()), 0, 'f', 1)
            .arg(median(captureRates), 0, 'f', 1));

    // Live view: the camera serves frames as fast as it is asked; the worker keeps to 15 a second.
    const int framesBefore = reports.frames;
    const double processBefore = processCpuSeconds(), workerBefore = workerCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    camera.cameraCommand();
    reports.waitFor([&] { return reports.frames >= framesBefore + 75; }, 60s);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double workerCpu = workerCpuSeconds() - workerBefore;
    const double processCpu = processCpuSeconds() - processBefore;
    camera.cameraCommand();
    const int frames = reports.frames - framesBefore;
    row(QStringLiteral("Live view at 15 frames/s: CPU of the camera's thread"),
        QStringLiteral("%1 % of a core").arg(100.0 * workerCpu / seconds, 0, 'f', 1),
        QStringLiteral("%1 frames of 160x120 in %2 s (%3 frames/s), each fetched, decoded and reported; "
                       "the whole process, with the emulated camera and libusb's busy polling in it: %4 % of a core")
            .arg(frames)
            .arg(seconds, 0, 'f', 2)
            .arg(double(frames) / seconds, 0, 'f', 1)
            .arg(100.0 * processCpu / seconds, 0, 'f', 1));

    // The emulator's frames are small; a camera's live view is about 1024 pixels wide. The
    // worker's cost per frame beyond the transfer is this decode and the conversion.
    const std::vector<std::uint8_t> large = PtpTestImage::testCard(1024, 680, 7);
    const QByteArray jpeg(reinterpret_cast<const char *>(large.data()), int(large.size()));
    constexpr int decodes = 60;
    const double decodeBefore = processCpuSeconds();
    for (int i = 0; i < decodes; ++i) {
        const QImage frame = QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_RGB32);
        if (frame.width() != 1024)
            return 1;
    }
    const double perFrame = (processCpuSeconds() - decodeBefore) / decodes;
    row(QStringLiteral("Live view frame of 1024x680: decode and convert"),
        QStringLiteral("%1 ms, %2 % of a core at 15 frames/s").arg(perFrame * 1000.0, 0, 'f', 2).arg(perFrame * 1500.0, 0, 'f', 1),
        QStringLiteral("CPU time of %1 decodes of a %2 KB JPEG to RGB32, as the worker does for every frame")
            .arg(decodes)
            .arg(large.size() / 1024));
    return 0;
}
