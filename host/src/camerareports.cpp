#include "camerareports.h"

#include "zlcamerahardware.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>

#include <functional>
#include <map>
#include <string>

struct CameraReports::Shared
{
    QMutex mutex;
    CameraReports *target = nullptr;
    // The layout each camera's next preview pixels come in.
    std::map<ZLCameraHardware *, ZLImageInfo> previewLayouts;
    // The newest frame not yet handed over; a busy GUI thread skips frames rather than queue them.
    std::map<ZLCameraHardware *, QImage> pendingFrames;

    // Runs report on the GUI thread, unless the receiver has gone by then.
    void post(std::function<void(CameraReports *)> report)
    {
        QMutexLocker lock(&mutex);
        if (CameraReports *t = target)
            QMetaObject::invokeMethod(t, [t, report] { report(t); }, Qt::QueuedConnection);
    }
};

namespace {

using Hooks = ZLCameraHardware::CameraHardwarePrivate;

QImage::Format formatOf(const ZLImageInfo &info)
{
    if (info.bitsPerPixel == 8 && info.colorModel == 1)
        return QImage::Format_Grayscale8;
    if (info.bitsPerPixel == 24 && info.colorModel == 3)
        return QImage::Format_RGB888;
    if (info.bitsPerPixel == 32) {
        switch (info.colorModel) {
        case 2: return QImage::Format_RGBX8888;
        case 3: return QImage::Format_RGB32;
        case 4: return QImage::Format_RGBA8888;
        case 5: return QImage::Format_ARGB32;
        default: break;
        }
    }
    return QImage::Format_Invalid;
}

// A deep copy: the pixels belong to the plug-in once the hook returns.
QImage copyFrame(const ZLImageInfo &info, const void *pixels)
{
    const QImage::Format format = formatOf(info);
    const int width = int(info.width);
    const int height = int(info.height);
    if (!pixels || format == QImage::Format_Invalid || width <= 0 || height <= 0 || width > 16384
        || height > 16384)
        return QImage();
    const int bytesPerLine = width * (info.bitsPerPixel / 8);
    return QImage(static_cast<const uchar *>(pixels), width, height, bytesPerLine, format).copy();
}

QStringList namesOf(const std::list<std::string> &names)
{
    QStringList list;
    for (const std::string &name : names)
        list << QString::fromStdString(name);
    return list;
}

} // namespace

CameraReports::CameraReports(QObject *parent)
    : QObject(parent)
    , shared(std::make_shared<Shared>())
{
    qRegisterMetaType<ZLCameraHardware *>("ZLCameraHardware*");
    shared->target = this;
    const std::shared_ptr<Shared> s = shared;

    Hooks::hardwareOpenSucceeded = [s](ZLCameraHardware *camera, size_t index) {
        s->post([camera, index](CameraReports *t) { emit t->openSucceeded(camera, index); });
    };
    Hooks::hardwareDisconnected = [s](ZLCameraHardware *camera, size_t index) {
        s->post([camera, index](CameraReports *t) { emit t->disconnected(camera, index); });
    };
    Hooks::availableCamerasDidSearched = [s](ZLCameraHardware *camera, const std::list<std::string> &names) {
        const QStringList list = namesOf(names);
        s->post([camera, list](CameraReports *t) { emit t->camerasFound(camera, list); });
    };
    Hooks::previewInfoIsChanged = [s](ZLCameraHardware *camera, const ZLImageInfo &info) {
        QMutexLocker lock(&s->mutex);
        s->previewLayouts[camera] = info;
    };
    Hooks::previewPixelsAcquired = [s](ZLCameraHardware *camera, const void *pixels) {
        ZLImageInfo info;
        {
            QMutexLocker lock(&s->mutex);
            const auto it = s->previewLayouts.find(camera);
            if (it == s->previewLayouts.end())
                return;
            info = it->second;
        }
        const QImage frame = copyFrame(info, pixels);
        if (frame.isNull())
            return;
        {
            QMutexLocker lock(&s->mutex);
            QImage &pending = s->pendingFrames[camera];
            const bool handoverQueued = !pending.isNull();
            pending = frame;
            if (handoverQueued)
                return;
        }
        s->post([s, camera](CameraReports *t) {
            QImage newest;
            {
                QMutexLocker lock(&s->mutex);
                newest.swap(s->pendingFrames[camera]);
            }
            if (!newest.isNull())
                emit t->previewFrame(camera, newest);
        });
    };
    Hooks::captureFinished = [s](ZLCameraHardware *camera, QString text, bool success) {
        s->post([camera, text, success](CameraReports *t) { emit t->captureFinished(camera, text, success); });
    };
    Hooks::capturedImageSaved = [s](ZLCameraHardware *camera, QString filePath) {
        s->post([camera, filePath](CameraReports *t) { emit t->imageSaved(camera, filePath); });
    };
}

CameraReports::~CameraReports()
{
    QMutexLocker lock(&shared->mutex);
    shared->target = nullptr;
}
