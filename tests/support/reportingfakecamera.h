#pragma once

#include "stubhardware.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <thread>

class FixtureLog;

// A tethered camera without hardware: cameraQueryB() answers yes, and each capture runs on a
// worker thread of its own, as a real camera's download does. After the exposure (delayMs, or
// until released while held) it writes the picture's bytes to the stem plus ".jpg" and reports
// capturedImageSaved and captureFinished through the SDK's hooks from that thread.
// The log gets "capture <stem>" when asked and "captured <stem>" just before the report.
class ReportingFakeCamera : public StubCamera
{
public:
    enum class Fault {
        None,
        Refuse,    // captureImage answers false: "Fake camera busy"
        Fail,      // captureFinished(false): "Fake card full", nothing stored
        Disconnect // hardwareDisconnected, then captureFinished(false): "Fake camera unplugged"
    };

    explicit ReportingFakeCamera(FixtureLog *log = nullptr);
    ~ReportingFakeCamera() override;

    // Configuration, set on the GUI thread before the capture it affects.
    QByteArray pictureBytes = QByteArrayLiteral("\xff\xd8\xff\xe0 fake picture \xff\xd9");
    int delayMs = 0;
    // Also stores a raw file, stem plus ".cr3", after the JPEG, as a camera set to raw and JPEG.
    bool alsoRaw = false;
    Fault fault = Fault::None;
    // 1-based number of the capture that meets the fault; 0: every capture.
    int faultOnCapture = 0;

    // Captures wait on their worker thread until released.
    void setHold(bool hold);
    void releaseCapture();

    // The stems asked for, in order (GUI thread).
    QStringList stems() const { return askedStems; }

    bool cameraQueryB() override { return true; }
    void pluginWillClose() override;
    bool captureImage(QString text) override;

private:
    void expose(const QString &stem, Fault fault);
    void joinWorker();

    FixtureLog *log;
    QStringList askedStems;
    std::thread worker;

    // Shared with the worker, under mutex.
    std::mutex mutex;
    std::condition_variable wake;
    bool hold = false;
    int releases = 0;
    bool closing = false;
};
