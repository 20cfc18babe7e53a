#include "zltetheredcamera.h"

#include "tetheredcameraworker.h"

#include <atomic>

// Turns the worker's news into the SDK's hooks, on the worker's thread.
struct ZLTetheredCamera::Private : TetheredCameraWorker::Listener
{
    explicit Private(ZLTetheredCamera *q)
        : q(q)
        , worker(this)
    {
    }

    void camerasFound(const std::list<std::string> &names) override { q->availableCamerasDidSearched(names); }
    void opened(size_t index) override
    {
        q->setCurrentCameraIndex(index);
        q->hardwareOpenSucceeded(index);
    }
    void openFailed(size_t index, const QString &error) override
    {
        q->setLastError(error);
        q->hardwareDisconnected(index);
    }
    void disconnected(size_t index, const QString &error) override
    {
        q->setLastError(error);
        q->setCurrentCameraIndex(SIZE_MAX);
        q->hardwareDisconnected(index);
    }
    void pictureStored(const QString &path) override { q->capturedImageSaved(path); }
    void captureEnded(const QString &text, bool success, const QString &error) override
    {
        if (!success)
            q->setLastError(error);
        q->captureFinished(text, success);
    }
    void previewFrame(const QImage &frame) override
    {
        if (frame.size() != previewSize) {
            previewSize = frame.size();
            ZLImageInfo info;
            info.colorModel = 3;
            info.bitsPerPixel = 32;
            info.width = float(frame.width());
            info.height = float(frame.height());
            q->previewInfoIsChanged(info);
        }
        q->previewPixelsAcquired(frame.constBits());
    }

    ZLTetheredCamera *const q;
    QSize previewSize;  // worker only
    // Last: its thread reports into the members above until it has been joined.
    TetheredCameraWorker worker;
};

ZLTetheredCamera::ZLTetheredCamera()
    : d(std::make_unique<Private>(this))
{
}

ZLTetheredCamera::~ZLTetheredCamera() = default;

void ZLTetheredCamera::searchAvailableCameras()
{
    d->worker.search();
}

void ZLTetheredCamera::openHardware(size_t index)
{
    d->worker.open(index);
}

bool ZLTetheredCamera::cameraQueryA()
{
    return d->worker.hasLiveView();
}

bool ZLTetheredCamera::cameraQueryB()
{
    return true;
}

void ZLTetheredCamera::cameraCommand()
{
    d->worker.setLiveView(!d->worker.liveViewWanted());
}

bool ZLTetheredCamera::captureImage(QString text)
{
    QString error;
    if (d->worker.capture(text, &error))
        return true;
    setLastError(error);
    return false;
}

bool ZLTetheredCamera::browseDcimItems(std::map<QString, std::list<QString>> *items) const
{
    if (!items)
        return false;
    QString error;
    if (d->worker.browse(items, &error))
        return true;
    d->q->setLastError(error);
    return false;
}

bool ZLTetheredCamera::downloadDcimItem(QString item, QString destination) const
{
    QString error;
    if (d->worker.download(item, destination, &error))
        return true;
    d->q->setLastError(error);
    return false;
}

bool ZLTetheredCamera::liveViewOn() const
{
    return d->worker.liveViewOn();
}

void ZLTetheredCamera::setCaptureTimeout(std::chrono::milliseconds timeout)
{
    d->worker.setCaptureTimeout(timeout);
}

std::chrono::milliseconds ZLTetheredCamera::captureTimeout() const
{
    return d->worker.captureTimeout();
}

void ZLTetheredCamera::setDeleteFromCardAfterDownload(bool remove)
{
    d->worker.setDeleteAfterDownload(remove);
}
