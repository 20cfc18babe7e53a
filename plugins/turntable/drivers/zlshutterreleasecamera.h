#pragma once

#include "zlcamerahardware.h"

#include <atomic>

class ZLMarvolixTurntableControl;

// The camera of the plug-in: fires the shutter through the release cable on the turntable's own
// board, reaching the motor through the plug-in's one turntable control.
class ZLShutterReleaseCamera : public ZLCameraHardware
{
public:
    // control: the plug-in's control pointer, set once when the control exists.
    explicit ZLShutterReleaseCamera(const std::atomic<ZLMarvolixTurntableControl *> &control);
    ~ZLShutterReleaseCamera() override;

    void searchAvailableCameras() override;
    // Reports camera 0 open once the control exists, whatever index is asked for.
    void openHardware(size_t index) override;
    bool cameraQueryA() override;
    bool cameraQueryB() override;
    void cameraCommand() override;
    // Blocks the caller for about one second on a stepper model; false without a shutter line.
    bool captureImage(QString text) override;

private:
    Q_DISABLE_COPY(ZLShutterReleaseCamera)
    const std::atomic<ZLMarvolixTurntableControl *> &m_control;
};
