// One capture on the worker: trigger, wait for the camera's events within the bound, download
// each file it announces, and store them all only once the camera says the capture is complete.
//
// Not gp_camera_capture: in libgphoto2 2.5.30 it waits for ObjectAdded and CaptureComplete with
// no overall timeout (a camera that never completes hangs it for ever, a refused trigger too)
// and of a RAW+JPEG pair it names only the last file. Triggering and then waiting for events in
// short slices gives every file and lets us give up at a time of our choosing.
#include "tetheredcameraworker_p.h"

#include "cameraerrortext.h"
#include "picturefiles.h"

#include <gphoto2/gphoto2-result.h>

#include <QCoreApplication>
#include <QFile>

#include <cmath>

namespace {

// Short slices: on links where libgphoto2's wait spins, a long one costs a core for its length.
constexpr int eventSliceMs = 250;

struct Downloaded
{
    std::string folder;
    std::string name;
    QByteArray bytes;
};

} // namespace

void TetheredCameraWorker::Private::captureNow(const QString &text)
{
    const auto finish = [this, &text](bool success, const QString &error) {
        capturing = false;
        listener->captureEnded(text, success, error);
    };
    if (!session->isOpen()) {
        finish(false, QCoreApplication::translate("ZLTetheredCamera", "No camera is open."));
        return;
    }
    const QString camera = cameraName();
    // Events from before the trigger (a picture taken with the camera's own button while live
    // view ran) belong to no capture of ours.
    pollEvents();
    if (!session->isOpen()) {
        finish(false, CameraErrorText::gone(camera));
        return;
    }
    const double exposure = session->exposureSeconds();
    const auto bound = std::chrono::milliseconds(timeoutMs.load())
        + std::chrono::milliseconds(static_cast<long long>(std::ceil(exposure * 1000.0)));

    int result = session->triggerCapture();
    if (result < GP_OK) {
        const QString reason = CameraErrorText::captureFailed(result, session->lastMessage());
        finish(false, lostIf(result) ? CameraErrorText::gone(camera) : reason);
        return;
    }
    const Clock::time_point deadline = Clock::now() + bound;
    std::vector<Downloaded> files;
    bool complete = false;
    while (!complete && !quitting) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        GphotoCamera::Event event;
        result = session->waitForEvent(int(std::min<long long>(left, eventSliceMs)), &event);
        if (result < GP_OK) {
            const QString reason = CameraErrorText::captureFailed(result, session->lastMessage());
            finish(false, lostIf(result) ? CameraErrorText::gone(camera) : reason);
            return;
        }
        if (event.kind == GphotoCamera::Event::CaptureComplete) {
            complete = true;
        } else if (event.kind == GphotoCamera::Event::FileAdded && !text.isEmpty()) {
            Downloaded file{event.folder, event.name, QByteArray()};
            result = session->download(file.folder, file.name, &file.bytes);
            if (result < GP_OK) {
                const QString reason = QCoreApplication::translate("ZLTetheredCamera",
                                                                   "The picture could not be copied from the camera: %1")
                                           .arg(QString::fromStdString(GphotoCamera::resultText(result)));
                finish(false, lostIf(result) ? CameraErrorText::gone(camera) : reason);
                return;
            }
            files.push_back(std::move(file));
        }
    }
    // Shutting down: the camera object is going, nobody waits for this capture's report.
    if (quitting) {
        capturing = false;
        return;
    }
    if (!complete) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(bound + std::chrono::milliseconds(999));
        finish(false, CameraErrorText::neverCompleted(int(seconds.count())));
        return;
    }
    // An empty text keeps the picture on the camera's card only, as the shutter-release cable does.
    QStringList stored;
    for (const Downloaded &file : files) {
        const QString path = picturePath(text, file.name, stored);
        QString error;
        if (!writePictureFile(path, file.bytes, &error)) {
            for (const QString &done : stored)
                QFile::remove(done);
            finish(false, error);
            return;
        }
        stored << path;
    }
    if (deleteAfterDownload) {
        for (const Downloaded &file : files)
            session->remove(file.folder, file.name);
    }
    for (const QString &path : stored)
        listener->pictureStored(path);
    finish(true, QString());
}
