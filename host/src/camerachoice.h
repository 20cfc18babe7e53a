#pragma once

#include "liveviewitem.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <vector>

class CameraReports;
class ProgramSettings;
class QImage;
class QQuickItem;
class ZLCameraHardware;

// Which camera a spin uses, when the plug-ins offer more than one camera object.
//
// The list holds the shutter-release cable (a camera object answering cameraQueryB() false)
// first, then every camera that the other objects' searches found, by the names they report.
// With a single camera object there is nothing to choose: that object is the camera, the page
// shows no choice and nothing is searched. Choosing a found camera opens it; it becomes the
// spin's camera once it reports the open, and a disconnection (or a failed open) falls back to
// the cable with a message. The name chosen by the user is kept in ProgramSettings::camera and
// chosen again whenever a search finds it (a replugged camera on another USB port included).
//
// Live view, for a chosen camera answering cameraQueryA() true, is switched with
// cameraCommand(); it is switched off when a spin starts, the camera changes or disconnects.
//
// The page's part is the item named "cameraBar" (host/qml/CameraBar.qml); without it the choice
// still works, for a page that has none. Owns the camera objects. GUI thread only: every camera
// report arrives through CameraReports.
class CameraChoice : public QObject
{
    Q_OBJECT

public:
    // The cameras in plug-in order; null entries are skipped. settings outlives this object.
    CameraChoice(const std::vector<ZLCameraHardware *> &cameras, CameraReports *reports,
                 ProgramSettings *settings, QObject *parent = nullptr);
    // pluginWillClose() and deletion of every camera object, in plug-in order.
    ~CameraChoice() override;

    static QString cableName();

    // The camera a spin uses; null only when there is no camera object at all.
    ZLCameraHardware *chosenCamera() const { return chosen; }
    bool offersChoice() const { return cameras.size() > 1; }
    // The entries as the page lists them, and the one shown as chosen (-1: none).
    QStringList names() const;
    int shownIndex() const { return shown; }
    bool isLiveViewAvailable() const;
    bool isLiveViewOn() const { return liveViewOn; }
    LiveViewItem *liveViewItem() const { return liveView; }

    // Connects the page's part and fills it; the page may be null.
    void setPage(QQuickItem *cameraBar);
    // A spin holds the camera: no choice, no live view, and a disconnection is left to the spin.
    void setSpinRunning(bool running);

public slots:
    // Every camera object but the cable looks for its cameras; the results come as reports.
    void searchCameras();
    // The user chose entry index of names().
    void choose(int index);
    void setLiveView(bool on);

signals:
    // The spin's camera is now this one.
    void chosenCameraChanged(ZLCameraHardware *camera);
    // For the user, in the program's message dialog.
    void messageRequested(const QString &title, const QString &text);

private:
    struct Entry
    {
        ZLCameraHardware *camera = nullptr;
        // The camera's index in its object's last search; SIZE_MAX for the cable.
        size_t index = SIZE_MAX;
        QString name;
    };

    void camerasFound(ZLCameraHardware *camera, const QStringList &found);
    void openSucceeded(ZLCameraHardware *camera, qulonglong index);
    void disconnected(ZLCameraHardware *camera, qulonglong index);
    void previewFrame(ZLCameraHardware *camera, const QImage &frame);

    int findStoredChoice() const;
    void open(int index);
    void setChosen(ZLCameraHardware *camera);
    void fallBackToCable();
    void switchLiveViewOff();
    void showOnPage();
    void callPage(const char *function, const QVariant &argument);

    std::vector<ZLCameraHardware *> cameras;
    ZLCameraHardware *cable = nullptr;
    ProgramSettings *settings;
    std::vector<Entry> entries;
    ZLCameraHardware *chosen = nullptr;
    // The entry being opened, or chosen once open; -1 for none.
    int shown = -1;
    // An open asked for and not yet answered, and what it asked.
    bool openPending = false;
    ZLCameraHardware *pendingCamera = nullptr;
    size_t pendingIndex = SIZE_MAX;
    bool spinRunning = false;
    // A camera lost during a spin: the fall-back waits for the spin to end.
    bool fallBackAfterSpin = false;
    bool liveViewOn = false;
    // Camera objects whose search has not reported yet.
    std::vector<ZLCameraHardware *> searching;
    QPointer<QQuickItem> page;
    // Guarded: the page may delete the item it was given before this object goes.
    QPointer<LiveViewItem> liveView;
};
