#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class ZLCameraHardware;

// The one owner of the camera hooks: installs all seven before any camera is called, and hands
// every report, from whichever thread a plug-in sends it, to the GUI thread as a signal.
// Reports are always queued, also those sent on the GUI thread, because the plug-in may be in the
// middle of the call that sent them.
//
// A camera answering cameraQueryB() true reports every capture through captureFinished (a
// tethered camera); one answering false fires and forgets (the shutter-release cable).
// cameraQueryA() answers whether the open camera has live view; cameraCommand() switches it.
//
// Preview pixels are valid only while their hook runs: they are copied into the frame's QImage
// there, in the layout of the last previewInfoIsChanged of that camera (colour models 1 to 5 at
// 8 bits a channel; frames of any other layout are dropped).
class CameraReports : public QObject
{
    Q_OBJECT

public:
    explicit CameraReports(QObject *parent = nullptr);
    // Leaves hooks that drop every report: a plug-in thread may still be about to send one.
    ~CameraReports() override;

signals:
    void openSucceeded(ZLCameraHardware *camera, qulonglong index);
    void disconnected(ZLCameraHardware *camera, qulonglong index);
    void camerasFound(ZLCameraHardware *camera, const QStringList &names);
    void previewFrame(ZLCameraHardware *camera, const QImage &frame);
    void captureFinished(ZLCameraHardware *camera, const QString &text, bool success);
    void imageSaved(ZLCameraHardware *camera, const QString &filePath);

private:
    struct Shared;
    std::shared_ptr<Shared> shared;
};
