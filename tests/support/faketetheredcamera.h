#pragma once

#include "fixturelog.h"
#include "stubhardware.h"

#include <QList>

#include <functional>
#include <list>
#include <string>
#include <thread>

// A camera object that, like a tethered plug-in, searches and opens when asked and reports
// from a thread of its own; the test says when, and what. Live view is offered once a camera
// is open (hasLiveView). GUI thread for the calls; the reports run on a thread that has ended
// before a helper returns.
class FakeTetheredCamera : public StubCamera
{
public:
    explicit FakeTetheredCamera(FixtureLog *log = nullptr) : log(log) {}
    ~FakeTetheredCamera() override { record(QStringLiteral("tethered deleted")); }

    void pluginWillClose() override { record(QStringLiteral("tethered pluginWillClose")); }
    void searchAvailableCameras() override { ++searches; }
    void openHardware(size_t index) override { opens.append(index); }
    bool cameraQueryA() override { return hasLiveView && currentCameraIndex() != SIZE_MAX; }
    bool cameraQueryB() override { return true; }
    void cameraCommand() override { ++commands; }

    void fromThread(const std::function<void(FakeTetheredCamera *)> &report)
    {
        std::thread thread([this, &report] { report(this); });
        thread.join();
    }
    void found(const std::list<std::string> &names)
    {
        fromThread([names](FakeTetheredCamera *camera) { camera->availableCamerasDidSearched(names); });
    }
    void opened(size_t index)
    {
        fromThread([index](FakeTetheredCamera *camera) { camera->hardwareOpenSucceeded(index); });
    }
    void lost(size_t index, const QString &reason)
    {
        setLastError(reason);
        fromThread([index](FakeTetheredCamera *camera) { camera->hardwareDisconnected(index); });
    }

    bool hasLiveView = true;
    int searches = 0;
    int commands = 0;
    QList<size_t> opens;

private:
    void record(const QString &event)
    {
        if (log)
            log->append(event);
    }

    FixtureLog *log;
};
