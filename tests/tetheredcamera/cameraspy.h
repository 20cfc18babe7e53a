#pragma once
// Records every report of a camera object through the SDK's hooks, from whichever thread sends
// it, as one line per report in order: "found <names joined by |>", "opened <i>",
// "disconnected <i>", "saved <path>", "finished <text> <0|1>", "info <w>x<h> <model>/<bits>",
// "pixels".
#include "zlcamerahardware.h"

#include <QString>
#include <QStringList>

#include <mutex>

struct CameraSpy
{
    std::mutex lock;
    QStringList reports;
    QStringList lastNames;
    int pixels = 0;

    void install()
    {
        using Hooks = ZLCameraHardware::CameraHardwarePrivate;
        Hooks::availableCamerasDidSearched = [this](ZLCameraHardware *, const std::list<std::string> &names) {
            QStringList list;
            for (const std::string &name : names)
                list << QString::fromStdString(name);
            add("found " + list.join('|'));
            std::lock_guard<std::mutex> guard(lock);
            lastNames = list;
        };
        Hooks::hardwareOpenSucceeded = [this](ZLCameraHardware *, size_t i) { add("opened " + QString::number(i)); };
        Hooks::hardwareDisconnected = [this](ZLCameraHardware *, size_t i) {
            add("disconnected " + QString::number(i));
        };
        Hooks::capturedImageSaved = [this](ZLCameraHardware *, QString path) { add("saved " + path); };
        Hooks::captureFinished = [this](ZLCameraHardware *, QString text, bool ok) {
            add("finished " + text + (ok ? " 1" : " 0"));
        };
        Hooks::previewInfoIsChanged = [this](ZLCameraHardware *, const ZLImageInfo &info) {
            add(QString("info %1x%2 %3/%4").arg(info.width).arg(info.height).arg(info.colorModel).arg(info.bitsPerPixel));
        };
        Hooks::previewPixelsAcquired = [this](ZLCameraHardware *, const void *data) {
            std::lock_guard<std::mutex> guard(lock);
            if (data)
                ++pixels;
            if (reports.isEmpty() || reports.last() != "pixels")
                reports << "pixels";
        };
    }

    void add(const QString &report)
    {
        std::lock_guard<std::mutex> guard(lock);
        reports << report;
    }
    QStringList all()
    {
        std::lock_guard<std::mutex> guard(lock);
        return reports;
    }
    // How many reports start with prefix.
    int count(const QString &prefix)
    {
        std::lock_guard<std::mutex> guard(lock);
        int n = 0;
        for (const QString &r : reports)
            n += r.startsWith(prefix);
        return n;
    }
    int frames()
    {
        std::lock_guard<std::mutex> guard(lock);
        return pixels;
    }
    QStringList names()
    {
        std::lock_guard<std::mutex> guard(lock);
        return lastNames;
    }
    void clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        reports.clear();
        lastNames.clear();
        pixels = 0;
    }
};
