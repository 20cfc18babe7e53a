#include "zlshutterreleasecamera.h"

#include "zlmarvolixturntablecontrol.h"

#include <QCoreApplication>

#include <chrono>
#include <thread>

ZLShutterReleaseCamera::ZLShutterReleaseCamera(const std::atomic<ZLMarvolixTurntableControl *> &control)
    : m_control(control)
{
}

ZLShutterReleaseCamera::~ZLShutterReleaseCamera() = default;

void ZLShutterReleaseCamera::searchAvailableCameras()
{
}

void ZLShutterReleaseCamera::openHardware(size_t)
{
    // The plug-in creates its control before any camera, so this wait is normally over at once;
    // it is bounded so that a plug-in without a control cannot hang its host.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_control.load()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            setLastError(QCoreApplication::translate("ZLShutterReleaseCamera", "The turntable control does not exist."));
            hardwareDisconnected(0);
            return;
        }
        std::this_thread::yield();
    }
    hardwareOpenSucceeded(0);
}

bool ZLShutterReleaseCamera::cameraQueryA()
{
    return false;
}

bool ZLShutterReleaseCamera::cameraQueryB()
{
    return false;
}

void ZLShutterReleaseCamera::cameraCommand()
{
}

bool ZLShutterReleaseCamera::captureImage(QString)
{
    ZLMarvolixTurntableControl *control = m_control.load();
    if (!control || !control->motor())
        return false;
    return control->motor()->triggerShutterRelease();
}
