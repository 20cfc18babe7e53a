#include "zlcamerahardware.h"
#include "zlinterfacebasics_p.h"

using CameraPrivate = ZLCameraHardware::CameraHardwarePrivate;

std::function<void(ZLCameraHardware *, size_t)> CameraPrivate::hardwareOpenSucceeded;
std::function<void(ZLCameraHardware *, size_t)> CameraPrivate::hardwareDisconnected;
std::function<void(ZLCameraHardware *, const std::list<std::string> &)> CameraPrivate::availableCamerasDidSearched;
std::function<void(ZLCameraHardware *, const ZLImageInfo &)> CameraPrivate::previewInfoIsChanged;
std::function<void(ZLCameraHardware *, const void *)> CameraPrivate::previewPixelsAcquired;
std::function<void(ZLCameraHardware *, QString, bool)> CameraPrivate::captureFinished;
std::function<void(ZLCameraHardware *, QString)> CameraPrivate::capturedImageSaved;

ZL_DEFINE_INTERFACE_BASICS(ZLCameraHardware, CameraHardwarePrivate, CameraHardwarePlugin)

bool ZLCameraHardware::startRecording(QString text)
{
    Q_UNUSED(text)
    return false;
}

void ZLCameraHardware::stopRecording()
{
}

bool ZLCameraHardware::browseDcimItems(std::map<QString, std::list<QString>> *items) const
{
    Q_UNUSED(items)
    return false;
}

bool ZLCameraHardware::downloadDcimItem(QString item, QString destination) const
{
    Q_UNUSED(item)
    Q_UNUSED(destination)
    return false;
}

size_t ZLCameraHardware::currentCameraIndex() const
{
    return readUnderPluginLock(d->currentCameraIndex);
}

void ZLCameraHardware::setCurrentCameraIndex(size_t index)
{
    writeUnderPluginLock(d->currentCameraIndex, index);
}

void ZLCameraHardware::hardwareOpenSucceeded(size_t index)
{
    CameraPrivate::hardwareOpenSucceeded(this, index);
}

void ZLCameraHardware::hardwareDisconnected(size_t index)
{
    CameraPrivate::hardwareDisconnected(this, index);
}

void ZLCameraHardware::availableCamerasDidSearched(const std::list<std::string> &names)
{
    CameraPrivate::availableCamerasDidSearched(this, names);
}

void ZLCameraHardware::previewInfoIsChanged(const ZLImageInfo &info)
{
    CameraPrivate::previewInfoIsChanged(this, info);
}

void ZLCameraHardware::previewPixelsAcquired(const void *pixels)
{
    CameraPrivate::previewPixelsAcquired(this, pixels);
}

void ZLCameraHardware::captureFinished(QString text, bool success)
{
    CameraPrivate::captureFinished(this, text, success);
}

void ZLCameraHardware::capturedImageSaved(QString filePath)
{
    CameraPrivate::capturedImageSaved(this, filePath);
}

const QString ZLCameraHardware::originalImagesDirectoryName()
{
    return QStringLiteral("originalCapturedImages");
}
