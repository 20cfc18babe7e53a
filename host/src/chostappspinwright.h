#pragma once

#include "programsettings.h"
#include "questiondialog.h"
#include "zlturntablespins.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class QQuickItem;
class QQuickView;
class CameraChoice;
class CameraReports;
class ClosingGuard;
class SpinRun;
class UpdateCheckManager;
class ZLCameraHardware;
class ZLTurntableHardware;

// The host's controller: wires the main page, the turntable and camera objects and the spin
// settings together and runs a spin as a chain of timers and turntable reports.
// Lives on the GUI thread; the only thing another thread does is post the rotation report.
class CHostAppSpinwright : public QObject
{
    Q_OBJECT

public:
    enum SpinRunState : std::int32_t {
        RunRotating = 0,
        RunPaused = 1,
        RunAtRest = 2
    };
    Q_ENUM(SpinRunState)

    // What the page asks for through turntableSpinStateChanged(int).
    enum PageSpinRequest : std::int32_t {
        RequestStop = -1,
        RequestPause = 0,
        RequestStart = 1,
        // After a stop: turn the table on to where the spin began.
        RequestReturnToStart = 2,
        RequestDriverInstaller = 100
    };
    Q_ENUM(PageSpinRequest)

    // Takes ownership of turntable and camera; the view becomes the parent.
    CHostAppSpinwright(ZLTurntableHardware *turntable, ZLCameraHardware *camera, QQuickView *view);
    // Several cameras: the page offers the choice among them (CameraChoice).
    CHostAppSpinwright(ZLTurntableHardware *turntable, const std::vector<ZLCameraHardware *> &cameras,
                       QQuickView *view);
    ~CHostAppSpinwright() override;

    SpinRunState spinRunState() const { return runState; }
    // Every camera report arrives through this object, on the GUI thread.
    CameraReports *cameraReports() const { return reports; }
    // Owns the camera objects and keeps cameraHardware on the one the user chose.
    CameraChoice *cameraChoice() const { return cameras; }
    // "Spinwright.json" as read at the start; saved at closing.
    ProgramSettings &programSettings() { return settings; }

    // "Spinwright.json" in the application-local data directory.
    static QString settingsFilePath();

    // Whether a spin is under way: turning, paused, or in a delay before or after a capture.
    bool isSpinRunning() const;
    // The one way a user's stop reaches the spin: the Stop button, or the question at closing.
    // The spin's own record of the stop belongs here.
    void stopSpinOnUserRequest();
    // The folder of the spin last started (its pictures and "spin.json"); empty before any.
    Q_INVOKABLE QString lastSpinFolder() const { return spinFolder; }

signals:
    // A spin went round to its end ("360 Photography finished"); folder holds its record.
    void spinFinished(const QString &folder);
    // The user asked, in the message at the end of a spin, to see that spin.
    void spinShowRequested(const QString &folder);

public slots:
    void applicationClosing();

private slots:
    void turntableRotationStopped();
    void turntableDeviceChanged(int index);
    void turntableSpinStateChanged(int state);
    void applicationWillClose();
    void resetDefaultUi(QQuickItem *rootUiItem = nullptr, bool isConnected = true);
    void captureImageAfterTurntableStopTimeout();
    void rotateTurntableAfterCaptureImageTimeout();
    // Boards arrived or left, or the user asked to look again ("Search again").
    void refreshTurntableList();
    void rescanTurntables();

private:
    void onHardwareOpenSucceeded(ZLTurntableHardware *turntable, size_t index);
    void onHardwareDisconnected(ZLTurntableHardware *turntable);
    void onTurntableRotationStopped(ZLTurntableHardware *turntable);

    QQuickView *view() const;
    QQuickItem *rootItem() const;
    void setUiItemsEnabled(bool enabled);
    void queueResetDefaultUi();
    // Back to rest with both editors enabled and the spin's sequence at its first angle; the
    // spin's record ends with state ("stopped", "failed", "disconnected") and text.
    void endSpin(const QString &state = QStringLiteral("stopped"), const QString &text = QString());
    // Ends the spin as the user's Stop does; a title shows text in a message.
    void stopSpin(const QString &state, const QString &title = QString(), const QString &text = QString());
    // Refuses a start that has not turned the table yet.
    void refuseStart(const QString &text);
    void showMessage(const QString &title, const QString &text);
    void showFinishedMessage();
    // True when it has opened the device the file names.
    bool restoreLastUsedTurntable();
    // Closing, in this order; each step is done once, the saves until they succeed.
    void releaseDevice();
    QStringList saveSettingsFiles();
    void dropUiItems();
    void returnToStart();

    ZLTurntableSpins spins;
    ProgramSettings settings;
    // Created before anything calls a camera: its constructor installs the hooks.
    CameraReports *reports = nullptr;
    CameraChoice *cameras = nullptr;
    // The camera a spin uses: the one chosen on the page.
    ZLCameraHardware *cameraHardware = nullptr;
    // Guarded: the page may delete an item it was given before this controller goes.
    QPointer<QQuickItem> spinsUiItem;
    QPointer<QQuickItem> pluginUiItem;
    SpinRunState runState = RunAtRest;
    UpdateCheckManager *updateManager = nullptr;
    // The delays of the capture cycle; single-shot, stopped when a spin is stopped.
    QTimer captureTimer;
    QTimer rotateTimer;
    // A requested rotation whose end has not been reported yet, whatever runState says.
    bool rotationPending = false;
    // The spin has turned the table away from where it began.
    bool tableLeftStart = false;
    bool closed = false;
    bool deviceReleased = false;
    bool programSettingsSaved = false;
    bool spinSettingsSaved = false;
    bool panelSettingsSaved = false;
    ClosingGuard *closingGuard = nullptr;
    SpinRun *spinRun = nullptr;
    QString spinFolder;
};
