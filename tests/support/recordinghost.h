#pragma once
// The host's side of the plug-in hooks for the tests that drive a plug-in object without the
// host: it records what the object reports and, like the real host, keeps the turntable's device
// index in step.
#include "zlcamerahardware.h"
#include "zlturntablehardware.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

struct OpenReport
{
    size_t index;
    bool flag;
};

// Rotation reports come from the motor's worker thread, hence the lock and the atomic.
struct RecordingHost
{
    std::mutex lock;
    std::vector<OpenReport> opened;
    std::vector<size_t> disconnected;
    std::vector<size_t> camerasOpened;
    std::atomic<int> rotationsStopped{0};
    // Boards arrived or left; told on the GUI thread only.
    std::atomic<int> devicesChanged{0};
    std::atomic<int> devicesChangedOffGuiThread{0};
    // The host handles a disconnection on its GUI thread only.
    std::atomic<int> disconnectsOffGuiThread{0};

    void install()
    {
        ZLTurntableHardware::TurntableHardwarePrivate::hardwareOpenSucceeded =
            [this](ZLTurntableHardware *device, size_t index, bool flag) {
                std::lock_guard<std::mutex> guard(lock);
                opened.push_back({index, flag});
                device->setCurrentTurntableIndex(index);
            };
        ZLTurntableHardware::TurntableHardwarePrivate::hardwareDisconnected =
            [this](ZLTurntableHardware *device, size_t index) {
                std::lock_guard<std::mutex> guard(lock);
                if (QThread::currentThread() != QCoreApplication::instance()->thread())
                    ++disconnectsOffGuiThread;
                disconnected.push_back(index);
                device->setCurrentTurntableIndex(SIZE_MAX);
            };
        ZLTurntableHardware::TurntableHardwarePrivate::turntableRotationStopped = [this](ZLTurntableHardware *) {
            ++rotationsStopped;
        };
        ZLTurntableHardware::TurntableHardwarePrivate::turntableDevicesChanged = [this](ZLTurntableHardware *) {
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                ++devicesChangedOffGuiThread;
            ++devicesChanged;
        };
        // The host keeps no camera index: it only learns that one is there.
        ZLCameraHardware::CameraHardwarePrivate::hardwareOpenSucceeded = [this](ZLCameraHardware *, size_t index) {
            std::lock_guard<std::mutex> guard(lock);
            camerasOpened.push_back(index);
        };
    }

    void clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        opened.clear();
        disconnected.clear();
        camerasOpened.clear();
        rotationsStopped = 0;
        disconnectsOffGuiThread = 0;
        devicesChanged = 0;
        devicesChangedOffGuiThread = 0;
    }

    std::vector<size_t> openedIndexes()
    {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<size_t> indexes;
        for (const OpenReport &report : opened)
            indexes.push_back(report.index);
        return indexes;
    }

    std::vector<OpenReport> openReports()
    {
        std::lock_guard<std::mutex> guard(lock);
        return opened;
    }

    std::vector<size_t> disconnects()
    {
        std::lock_guard<std::mutex> guard(lock);
        return disconnected;
    }

    std::vector<size_t> cameraOpens()
    {
        std::lock_guard<std::mutex> guard(lock);
        return camerasOpened;
    }
};
