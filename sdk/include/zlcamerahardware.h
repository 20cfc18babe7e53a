#pragma once

#include "zlimage.h"
#include "zlplugin.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <string>

// Interface between the host and a camera, built like ZLTurntableHardware.
class ZENLYTESDK_EXPORT ZLCameraHardware : public virtual ZLAbstractPlugin
{
public:
    struct ZENLYTESDK_EXPORT CameraHardwarePrivate
    {
        // SIZE_MAX: no camera in use.
        size_t currentCameraIndex = SIZE_MAX;

        // Process-wide, installed once before use and not locked.
        static std::function<void(ZLCameraHardware *camera, size_t index)> hardwareOpenSucceeded;
        static std::function<void(ZLCameraHardware *camera, size_t index)> hardwareDisconnected;
        static std::function<void(ZLCameraHardware *camera, const std::list<std::string> &names)> availableCamerasDidSearched;
        static std::function<void(ZLCameraHardware *camera, const ZLImageInfo &info)> previewInfoIsChanged;
        static std::function<void(ZLCameraHardware *camera, const void *pixels)> previewPixelsAcquired;
        static std::function<void(ZLCameraHardware *camera, QString text, bool success)> captureFinished;
        static std::function<void(ZLCameraHardware *camera, QString filePath)> capturedImageSaved;
    };

    ~ZLCameraHardware() override;

    ZLRegisterPlugin::PluginType pluginType() const override;

    virtual void searchAvailableCameras() = 0;
    virtual void openHardware(size_t index) = 0;
    virtual bool cameraQueryA() = 0;
    virtual bool cameraQueryB() = 0;
    virtual void cameraCommand() = 0;
    // true when the picture was triggered.
    virtual bool captureImage(QString text) = 0;
    virtual bool startRecording(QString text);
    virtual void stopRecording();
    virtual bool browseDcimItems(std::map<QString, std::list<QString>> *items) const;
    virtual bool downloadDcimItem(QString item, QString destination) const;

    size_t currentCameraIndex() const;
    void setCurrentCameraIndex(size_t index);

    // Forwarders: call the hook on the calling thread; an empty hook throws std::bad_function_call.
    void hardwareOpenSucceeded(size_t index);
    void hardwareDisconnected(size_t index);
    void availableCamerasDidSearched(const std::list<std::string> &names);
    void previewInfoIsChanged(const ZLImageInfo &info);
    void previewPixelsAcquired(const void *pixels);
    void captureFinished(QString text, bool success);
    void capturedImageSaved(QString filePath);

    // Folder name for unprocessed captured pictures.
    static const QString originalImagesDirectoryName();

protected:
    ZLCameraHardware();

private:
    Q_DISABLE_COPY(ZLCameraHardware)
    CameraHardwarePrivate *d;
};
