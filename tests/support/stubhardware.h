#pragma once

#include "zlcamerahardware.h"
#include "zlturntablehardware.h"

#include <QList>

// Plug-in objects that implement only what their interface requires, so that the SDK's own
// defaults show through. Richer behaviour lives in FakeTurntable and FakeCamera.

// A turntable with no devices: answers the counts set here, records the rotations asked for.
class StubTurntable : public ZLTurntableHardware
{
public:
    std::list<std::string> availableTurntables() override { return {}; }
    void openHardware(size_t) override {}
    void closeHardware() override {}
    unsigned int countsPerRevolution() override { return counts; }
    bool startAngleRotation(float degrees) override
    {
        targets.append(degrees);
        return acceptRotations;
    }

    unsigned int counts = 0;
    bool acceptRotations = true;
    QList<float> targets;
};

// A camera whose every capture is triggered and whose queries all answer no.
class StubCamera : public ZLCameraHardware
{
public:
    void searchAvailableCameras() override {}
    void openHardware(size_t) override {}
    bool cameraQueryA() override { return false; }
    bool cameraQueryB() override { return false; }
    void cameraCommand() override {}
    bool captureImage(QString) override { return true; }
};
