#include "reportingfakecamera.h"

#include "fixturelog.h"

#include <QFile>

#include <chrono>

ReportingFakeCamera::ReportingFakeCamera(FixtureLog *log)
    : log(log)
{
}

ReportingFakeCamera::~ReportingFakeCamera()
{
    joinWorker();
}

void ReportingFakeCamera::pluginWillClose()
{
    joinWorker();
}

void ReportingFakeCamera::setHold(bool held)
{
    std::lock_guard<std::mutex> lock(mutex);
    hold = held;
    wake.notify_all();
}

void ReportingFakeCamera::releaseCapture()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++releases;
    wake.notify_all();
}

void ReportingFakeCamera::joinWorker()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        closing = true;
        wake.notify_all();
    }
    if (worker.joinable())
        worker.join();
    std::lock_guard<std::mutex> lock(mutex);
    closing = false;
}

bool ReportingFakeCamera::captureImage(QString text)
{
    askedStems.append(text);
    if (log)
        log->append(QStringLiteral("capture ") + text);
    const Fault now = faultOnCapture == 0 || faultOnCapture == askedStems.size() ? fault : Fault::None;
    if (now == Fault::Refuse) {
        setLastError(QStringLiteral("Fake camera busy"));
        return false;
    }
    // One capture at a time, as a camera does; the previous one has reported by now.
    if (worker.joinable())
        worker.join();
    worker = std::thread([this, text, now] { expose(text, now); });
    return true;
}

void ReportingFakeCamera::expose(const QString &stem, Fault now)
{
    // Read once under the lock: the GUI thread set them before this capture began.
    bool raw = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        // The exposure and the download: a wait that closing cuts short.
        wake.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return closing; });
        wake.wait(lock, [this] { return closing || !hold || releases > 0; });
        if (hold && releases > 0)
            --releases;
        raw = alsoRaw;
    }
    if (now == Fault::Disconnect) {
        setLastError(QStringLiteral("Fake camera unplugged"));
        hardwareDisconnected(0);
        captureFinished(stem, false);
        return;
    }
    if (now == Fault::Fail) {
        setLastError(QStringLiteral("Fake card full"));
        captureFinished(stem, false);
        return;
    }
    const QString path = stem + QStringLiteral(".jpg");
    QFile file(path);
    const bool stored = file.open(QIODevice::WriteOnly) && file.write(pictureBytes) == pictureBytes.size();
    file.close();
    if (stored)
        capturedImageSaved(path);
    if (stored && raw) {
        QFile raw(stem + QStringLiteral(".cr3"));
        if (raw.open(QIODevice::WriteOnly) && raw.write("raw " + pictureBytes) > 0) {
            raw.close();
            capturedImageSaved(raw.fileName());
        }
    }
    if (!stored)
        setLastError(QStringLiteral("Fake download failed"));
    if (log)
        log->append(QStringLiteral("captured ") + stem);
    captureFinished(stem, stored);
}
