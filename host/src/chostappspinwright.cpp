#include "chostappspinwright.h"

#include "camerachoice.h"
#include "camerareports.h"
#include "closingguard.h"
#include "pagecalls.h"
#include "platform.h"
#include "programsettings.h"
#include "questiondialog.h"
#include "settingsfile.h"
#include "spinrun.h"
#include "spinwrightidentity.h"
#include "updatecheckmanager.h"
#include "zlcamerahardware.h"
#include "zlturntablehardware.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QMetaMethod>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr size_t noTurntable = SIZE_MAX;

int delayToMilliseconds(float seconds)
{
    // Negative, NaN and absurd delays from a hand-edited file must not stall the spin.
    if (!(seconds > 0.0f))
        return 0;
    const double msecs = double(seconds) * 1000.0 + 0.5;
    return msecs >= double(INT_MAX) ? INT_MAX : int(msecs);
}

void startDelay(QTimer &timer, float seconds)
{
    const int msecs = delayToMilliseconds(seconds);
    timer.setTimerType(msecs < 2000 ? Qt::PreciseTimer : Qt::CoarseTimer);
    timer.start(msecs);
}

bool onMainThread()
{
    return QCoreApplication::instance()
           && QCoreApplication::instance()->thread() == QThread::currentThread();
}

} // namespace

CHostAppSpinwright::CHostAppSpinwright(ZLTurntableHardware *turntable, ZLCameraHardware *camera,
                                       QQuickView *view)
    : CHostAppSpinwright(turntable, std::vector<ZLCameraHardware *>{camera}, view)
{
}

CHostAppSpinwright::CHostAppSpinwright(ZLTurntableHardware *turntable,
                                       const std::vector<ZLCameraHardware *> &cameraObjects, QQuickView *view)
    : QObject(view)
    , reports(new CameraReports(this))
    , cameras(new CameraChoice(cameraObjects, reports, &settings, this))
    , cameraHardware(cameras->chosenCamera())
{
    connect(cameras, &CameraChoice::chosenCameraChanged, this,
            [this](ZLCameraHardware *camera) { cameraHardware = camera; });
    connect(cameras, &CameraChoice::messageRequested, this,
            [this](const QString &title, const QString &text) { showMessage(title, text); });
    spins.setTurntable(turntable);
    captureTimer.setSingleShot(true);
    rotateTimer.setSingleShot(true);
    connect(&captureTimer, &QTimer::timeout, this,
            &CHostAppSpinwright::captureImageAfterTurntableStopTimeout);
    connect(&rotateTimer, &QTimer::timeout, this,
            &CHostAppSpinwright::rotateTurntableAfterCaptureImageTimeout);

    updateManager = new UpdateCheckManager(QString::fromLatin1(SpinwrightIdentity::versionPrefix),
                                           QString::fromLatin1(SpinwrightIdentity::changelistNumber));

    // The pointer the plug-in passes is not needed: this controller drives one turntable.
    ZLTurntableHardware::TurntableHardwarePrivate::hardwareOpenSucceeded =
        [this, turntable](ZLTurntableHardware *, size_t index, bool) {
            onHardwareOpenSucceeded(turntable, index);
        };
    ZLTurntableHardware::TurntableHardwarePrivate::hardwareDisconnected =
        [this, turntable](ZLTurntableHardware *, size_t) { onHardwareDisconnected(turntable); };
    ZLTurntableHardware::TurntableHardwarePrivate::turntableRotationStopped =
        [this, turntable](ZLTurntableHardware *) { onTurntableRotationStopped(turntable); };
    // Told on the GUI thread; queued all the same, as the plug-in may be in the middle of a call.
    ZLTurntableHardware::TurntableHardwarePrivate::turntableDevicesChanged = [this](ZLTurntableHardware *) {
        QMetaObject::invokeMethod(this, "refreshTurntableList", Qt::QueuedConnection);
    };

    turntable->pluginDidInitialized();

    spinsUiItem = spins.createPluginUIFrameView();
    spins.removeVideoMode();
    pluginUiItem = turntable->createPluginUIFrameView();

    QQuickItem *root = rootItem();
    if (root && spinsUiItem && pluginUiItem) {
        QMetaObject::invokeMethod(root, "setTurntableSpinsUiItem",
                                  Q_ARG(QVariant, QVariant::fromValue(spinsUiItem.data())));
        QMetaObject::invokeMethod(root, "setPluginUiItem",
                                  Q_ARG(QVariant, QVariant::fromValue(pluginUiItem.data())));
    }

    ClosingGuard::Steps closingSteps;
    closingSteps.spinRunning = [this] { return isSpinRunning(); };
    closingSteps.stopSpin = [this] { stopSpinOnUserRequest(); };
    closingSteps.releaseDevice = [this] { releaseDevice(); };
    closingSteps.saveSettings = [this] { return saveSettingsFiles(); };
    closingSteps.dialogParent = [this] { return rootItem(); };
    closingGuard = new ClosingGuard(view, closingSteps, this);
    connect(view, SIGNAL(closing(QQuickCloseEvent*)), this, SLOT(applicationClosing()));
    // Quitting without closing the window must not lose the settings either.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &CHostAppSpinwright::applicationClosing);
    if (root) {
        connect(root, SIGNAL(turntableDeviceChanged(int)), this, SLOT(turntableDeviceChanged(int)));
        connect(root, SIGNAL(turntableSpinStateChanged(int)), this,
                SLOT(turntableSpinStateChanged(int)));
        connect(root, SIGNAL(applicationWillClose()), this, SLOT(applicationWillClose()));
        if (root->metaObject()->indexOfSignal("turntableRescanRequested()") >= 0)
            connect(root, SIGNAL(turntableRescanRequested()), this, SLOT(rescanTurntables()));
        cameras->setPage(root->findChild<QQuickItem *>(QStringLiteral("cameraBar")));
    }

    const QString spinsFileError = spins.takeSettingsFileError();
    if (!spinsFileError.isEmpty())
        showMessage(tr("Spin settings"), spinsFileError);
    // The turntable's panel tells of its own file through this property of its item.
    const QString panelFileError = pluginUiItem ? pluginUiItem->property("settingsFileProblem").toString() : QString();
    if (!panelFileError.isEmpty())
        showMessage(tr("Turntable settings"), panelFileError);

    QString settingsProblem;
    if (!settings.load(&settingsProblem))
        showMessage(tr("Program settings"), settingsProblem);
    spinRun = new SpinRun(reports, root, settings, this);
    connect(spinRun, &SpinRun::shotTaken, this, [this] { startDelay(rotateTimer, spins.postCaptureDelay()); });
    connect(spinRun, &SpinRun::message, this, &CHostAppSpinwright::showMessage);
    connect(spinRun, &SpinRun::mustEnd, this, &CHostAppSpinwright::stopSpin);

    const QStringList devices = PageCalls::publishTurntables(spins.turntable());
    if (!devices.isEmpty()) {
        // A list of one leaves no choice: that turntable is opened, so that Start works at once.
        if (!restoreLastUsedTurntable() && devices.size() == 1)
            PageCalls::invoke(rootItem(), "syncLastUsedTurntableIndexUI", 0);
    } else {
        setUiItemsEnabled(false);
        showMessage(tr("Turntable device error"), turntable->lastError());
    }

    connect(updateManager, &UpdateCheckManager::updateAvailable, this,
            [this](const QString &title, const QString &text) { showMessage(title, text); });
    connect(updateManager, &UpdateCheckManager::checkEnded, this, [this] {
        if (updateManager) {
            updateManager->deleteLater();
            updateManager = nullptr;
        }
    });
    updateManager->start();
}

CHostAppSpinwright::~CHostAppSpinwright()
{
    applicationClosing();

    delete updateManager;
    updateManager = nullptr;

    ZLTurntableHardware *turntable = spins.turntable();
    spins.setTurntable(nullptr);
    if (turntable) {
        turntable->pluginWillClose();
        delete turntable;
    }
    cameraHardware = nullptr;
    delete cameras;
    cameras = nullptr;

    // No turntable is left to report; a stray report must not reach a dead controller.
    ZLTurntableHardware::TurntableHardwarePrivate::hardwareOpenSucceeded =
        [](ZLTurntableHardware *, size_t, bool) {};
    ZLTurntableHardware::TurntableHardwarePrivate::hardwareDisconnected =
        [](ZLTurntableHardware *, size_t) {};
    ZLTurntableHardware::TurntableHardwarePrivate::turntableRotationStopped =
        [](ZLTurntableHardware *) {};
    ZLTurntableHardware::TurntableHardwarePrivate::turntableDevicesChanged = nullptr;
}

QString CHostAppSpinwright::settingsFilePath()
{
    return ProgramSettings::filePath();
}

QQuickView *CHostAppSpinwright::view() const
{
    return qobject_cast<QQuickView *>(parent());
}

QQuickItem *CHostAppSpinwright::rootItem() const
{
    QQuickView *quickView = view();
    return quickView ? quickView->rootObject() : nullptr;
}

void CHostAppSpinwright::setUiItemsEnabled(bool enabled)
{
    if (pluginUiItem)
        pluginUiItem->setEnabled(enabled);
    if (spinsUiItem)
        spinsUiItem->setEnabled(enabled);
    // Only a spin holds the camera; the panels are also disabled while no turntable is open.
    if (cameras)
        cameras->setSpinRunning(!enabled && isSpinRunning());
}

void CHostAppSpinwright::queueResetDefaultUi()
{
    QPointer<QQuickItem> root = rootItem();
    QMetaObject::invokeMethod(
        this, [this, root] { resetDefaultUi(root, true); }, Qt::QueuedConnection);
}

void CHostAppSpinwright::showMessage(const QString &title, const QString &text)
{
    showMessageDialog(rootItem(), text, title);
}

void CHostAppSpinwright::showFinishedMessage()
{
    // "Show the spin" only where something shows it, and for a spin that has a folder.
    const QString folder = spinFolder;
    const bool canShow = !folder.isEmpty()
                         && isSignalConnected(QMetaMethod::fromSignal(&CHostAppSpinwright::spinShowRequested));
    QPointer<CHostAppSpinwright> self(this);
    showMessageDialog(rootItem(), tr("360 Photography finished"), tr("Process complete."),
                      canShow ? tr("Show the spin") : QString(), [self, folder] {
                          if (self)
                              emit self->spinShowRequested(folder);
                      });
}

bool CHostAppSpinwright::restoreLastUsedTurntable()
{
    if (settings.lastUsedTurntable < 0)
        return false;
    // The stored value is a model row, not a position in the list: an identified board is the
    // list's one entry but opens as its own row, so the turntable decides what the row opens.
    return PageCalls::invoke(rootItem(), "syncLastUsedTurntableIndexUI", settings.lastUsedTurntable);
}

void CHostAppSpinwright::refreshTurntableList()
{
    if (closed)
        return;
    ZLTurntableHardware *turntable = spins.turntable();
    QString settingsProblem;
    // A camera chosen in this run is saved at closing, not read back.
    const QString chosenCamera = settings.camera;
    if (!settings.load(&settingsProblem))
        showMessage(tr("Program settings"), settingsProblem);
    settings.camera = chosenCamera;

    const QStringList devices = PageCalls::publishTurntables(spins.turntable());
    // A new list resets the page's choice; the open device, if it is still there, is shown again.
    if (turntable->currentTurntableIndex() != noTurntable) {
        PageCalls::showTurntableListIndex(rootItem(), int(turntable->currentTurntableIndex()));
        return;
    }
    if (devices.isEmpty()) {
        PageCalls::showTurntableListIndex(rootItem(), -1);
        setUiItemsEnabled(false);
        resetDefaultUi(nullptr, false);
        return;
    }
    // Back from "no device": the panels work again, and a list of one opens at once.
    setUiItemsEnabled(true);
    if (devices.size() == 1)
        PageCalls::invoke(rootItem(), "syncLastUsedTurntableIndexUI", 0);
    else
        PageCalls::showTurntableListIndex(rootItem(), -1);
}

void CHostAppSpinwright::rescanTurntables()
{
    refreshTurntableList();
    // Looked again and found nothing: say so, or the button would seem to do nothing.
    if (spins.turntable()->currentTurntableIndex() == noTurntable
        && globalQmlEngine()->rootContext()->contextProperty(QStringLiteral("TurntableDevicesModel")).toStringList().isEmpty())
        showMessage(tr("Turntable device error"), spins.turntable()->lastError());
}

void CHostAppSpinwright::releaseDevice()
{
    // Closing ends the spin: nothing may move or fire once the device is released.
    captureTimer.stop();
    rotateTimer.stop();
    runState = RunAtRest;
    rotationPending = false;
    spinRun->end(QStringLiteral("stopped"), QString());
    if (deviceReleased)
        return;
    deviceReleased = true;
    ZLTurntableHardware *turntable = spins.turntable();
    if (turntable && turntable->currentTurntableIndex() != noTurntable) {
        turntable->stopAngleRotation();
        turntable->closeHardware();
    }
}

QStringList CHostAppSpinwright::saveSettingsFiles()
{
    QStringList failures;
    if (!programSettingsSaved) {
        const size_t index = spins.turntable() ? spins.turntable()->currentTurntableIndex() : noTurntable;
        settings.lastUsedTurntable = index == noTurntable || index > size_t(INT_MAX) ? -1 : int(index);
        QString error;
        programSettingsSaved = settings.save(&error);
        if (!programSettingsSaved)
            failures << error;
    }
    // Both editors keep their settings when a save fails, so that a later call tries again.
    ZLTurntableHardware *turntable = spins.turntable();
    if (!panelSettingsSaved) {
        panelSettingsSaved = !pluginUiItem || !turntable || turntable->pluginUIFrameViewWillClose(pluginUiItem);
        if (!panelSettingsSaved)
            failures << turntable->lastError();
    }
    if (!spinSettingsSaved) {
        spinSettingsSaved = !spinsUiItem || spins.pluginUIFrameViewWillClose(spinsUiItem);
        if (!spinSettingsSaved)
            failures << spins.lastError();
    }
    return failures;
}

void CHostAppSpinwright::dropUiItems()
{
    delete pluginUiItem.data();
    pluginUiItem = nullptr;
    delete spinsUiItem.data();
    spinsUiItem = nullptr;
}

void CHostAppSpinwright::applicationClosing()
{
    if (closed)
        return;
    closed = true;
    releaseDevice();
    // Failures the user has been told of and has chosen to leave; otherwise nobody is left to ask.
    if (!closingGuard || !closingGuard->savingGivenUp())
        saveSettingsFiles();
    dropUiItems();
}

void CHostAppSpinwright::turntableRotationStopped()
{
    rotationPending = false;
    if (runState == RunPaused || runState == RunAtRest)
        return;
    runState = RunAtRest;
    startDelay(captureTimer, spins.preCaptureDelay());
}

void CHostAppSpinwright::endSpin(const QString &state, const QString &text)
{
    runState = RunAtRest;
    // An ended spin must not fire the camera or move the table once more.
    captureTimer.stop();
    rotateTimer.stop();
    rotationPending = false;
    spinRun->end(state, text);
    setUiItemsEnabled(true);
    spins.setStepIndex(0);
}

void CHostAppSpinwright::refuseStart(const QString &text)
{
    showMessage(tr("Wrong settings."), text);
    queueResetDefaultUi();
}

void CHostAppSpinwright::turntableDeviceChanged(int index)
{
    ZLTurntableHardware *turntable = spins.turntable();
    if (static_cast<size_t>(index) == turntable->currentTurntableIndex())
        return;
    // The page resets to "no spin" below, and the new device has not been set up for one: a
    // spin left running would wait for a report that never comes and block closing for good.
    endSpin();
    tableLeftStart = false;
    if (turntable->currentTurntableIndex() != noTurntable)
        turntable->closeHardware();
    // Reports the old device has queued must be handled before the new one answers.
    QCoreApplication::sendPostedEvents();
    resetDefaultUi(nullptr, true);
    if (index >= 0)
        turntable->openHardware(static_cast<size_t>(index));
}

void CHostAppSpinwright::turntableSpinStateChanged(int state)
{
    ZLTurntableHardware *turntable = spins.turntable();
    switch (state) {
    case RequestPause:
        runState = RunPaused;
        break;
    case RequestStop:
        stopSpinOnUserRequest();
        break;
    case RequestReturnToStart:
        returnToStart();
        break;
    case RequestStart:
        // A spin whose record has ended (a refused move while paused) starts anew.
        if (runState == RunAtRest || !spinRun->isRecording()) {
            // Without an angle a spin would turn once and "finish" with nothing shot.
            spins.readSettingsFromUi();
            if (spins.shootingAnglesCount() == 0)
                return refuseStart(tr("There is no angle to shoot at: choose a number of images, "
                                      "or add at least one angle to the custom list."));
            if (!turntable->stepsSpinningWillStart())
                return refuseStart(turntable->lastError());
            tableLeftStart = false;
            // A list built for another table may ask for positions this one cannot tell apart.
            const QString unreachable = spins.unreachablePositions(turntable->countsPerRevolution());
            if (!unreachable.isEmpty() || !spinRun->begin(spins, cameraHardware, pluginUiItem)) {
                turntable->stopAngleRotation();
                if (!unreachable.isEmpty())
                    refuseStart(unreachable);
                else
                    queueResetDefaultUi();
                return;
            }
            spinFolder = spinRun->folder();
        }
        runState = RunRotating;
        setUiItemsEnabled(false);
        // Resumed while the table still turns, or while this cycle's delay runs or a picture is
        // awaited: that cycle goes on by itself, and a second one beside it would fire or move twice.
        if (!rotationPending && !captureTimer.isActive() && !rotateTimer.isActive() && !spinRun->isWaiting())
            turntableRotationStopped();
        break;
    case RequestDriverInstaller:
        SpinwrightPlatform::openDriverInstaller();
        break;
    default:
        break;
    }
}

void CHostAppSpinwright::applicationWillClose()
{
    // The closing guard asks about a running spin, whichever way the window is closed.
    if (QQuickView *quickView = view())
        quickView->close();
}

bool CHostAppSpinwright::isSpinRunning() const
{
    return runState != RunAtRest || rotationPending || captureTimer.isActive() || rotateTimer.isActive()
           || spinRun->isWaiting();
}

void CHostAppSpinwright::stopSpinOnUserRequest()
{
    stopSpin(QStringLiteral("stopped"));
}

void CHostAppSpinwright::stopSpin(const QString &state, const QString &title, const QString &text)
{
    const bool offerReturn = tableLeftStart && !closed;
    endSpin(state, text);
    if (ZLTurntableHardware *turntable = spins.turntable())
        turntable->stopAngleRotation();
    queueResetDefaultUi();
    if (!title.isEmpty())
        showMessage(title, text);
    if (!offerReturn)
        return;
    QPointer<QQuickItem> root = rootItem();
    QMetaObject::invokeMethod(this, [root] {
        if (root)
            QMetaObject::invokeMethod(root, "offerReturnToStart", Q_ARG(QVariant, true));
    }, Qt::QueuedConnection);
}

void CHostAppSpinwright::returnToStart()
{
    ZLTurntableHardware *turntable = spins.turntable();
    if (!turntable || isSpinRunning() || !tableLeftStart || turntable->currentTurntableIndex() == noTurntable)
        return;
    // The position is counted from the spin's start: the spin's closing turn ends there.
    const float target = spins.direction() == 1 ? -360.0f : 360.0f;
    if (!turntable->startAngleRotation(target)) {
        showMessage(tr("Error occured."), turntable->lastError());
        return;
    }
    tableLeftStart = false;
}

void CHostAppSpinwright::resetDefaultUi(QQuickItem *rootUiItem, bool isConnected)
{
    QQuickItem *item = rootUiItem ? rootUiItem : rootItem();
    if (item)
        QMetaObject::invokeMethod(item, "resetDefaultUi", Q_ARG(QVariant, isConnected));
}

void CHostAppSpinwright::captureImageAfterTurntableStopTimeout()
{
    const int i = spins.stepIndex();
    const int c = spins.shootingAnglesCount();
    const bool due = (i == 0 && c > 0 && spins.firstShootingAngle() == 0.0f) || (i != 0 && i <= c);
    // A picture awaited from the camera or the user: the cycle goes on when it is there.
    if (due && !spinRun->shoot(std::max(i, 1), c, spins.isManualCapture()))
        return;
    startDelay(rotateTimer, spins.postCaptureDelay());
}

void CHostAppSpinwright::rotateTurntableAfterCaptureImageTimeout()
{
    SpinStepResult result;
    do {
        result = spins.nextSpinStep();
    } while (result == SpinStepResult::AtStartAngle);

    switch (result) {
    case SpinStepResult::Rotating:
        tableLeftStart = true;
        // A pause pressed during the delays holds the spin at the end of this rotation.
        if (runState != RunPaused)
            runState = RunRotating;
        rotationPending = true;
        break;
    case SpinStepResult::Finished:
        spins.turntable()->stepsSpinningWillStop();
        tableLeftStart = false;
        resetDefaultUi(nullptr, true);
        spins.setStepIndex(0);
        setUiItemsEnabled(true);
        spinRun->end(QStringLiteral("finished"), tr("360 Photography finished"));
        showFinishedMessage();
        emit spinFinished(spinFolder);
        break;
    case SpinStepResult::RotationFailed:
        // The table stayed where it was: the next start shoots there under that angle's name
        // and asks for the refused move again, rather than name a picture by an angle never reached.
        if (spins.stepIndex() > 0)
            spins.setStepIndex(spins.stepIndex() - 1);
        spinRun->end(QStringLiteral("failed"), spins.turntable()->lastError());
        showMessage(tr("Error occured."), spins.turntable()->lastError());
        resetDefaultUi(nullptr, true);
        break;
    case SpinStepResult::AtStartAngle:
        break;
    }
}

void CHostAppSpinwright::onHardwareOpenSucceeded(ZLTurntableHardware *turntable, size_t index)
{
    if (!onMainThread())
        return;
    turntable->setCurrentTurntableIndex(index);
    spins.updateTurntableStepsPerRevolution();
    // Opened anew after a disconnection or a failed open, which disabled both panels. No spin runs
    // here: a device change ends it first.
    setUiItemsEnabled(true);
}

void CHostAppSpinwright::onHardwareDisconnected(ZLTurntableHardware *turntable)
{
    if (!onMainThread())
        return;
    // A vanished device reports no end of its move, and a spin on it is over: nothing more is
    // captured or turned, and Exit closes the program.
    endSpin(QStringLiteral("disconnected"), turntable->lastError());
    resetDefaultUi(nullptr, false);
    setUiItemsEnabled(false);
    showMessage(tr("Device disconnected"), turntable->lastError());
    turntable->setCurrentTurntableIndex(noTurntable);
    // The list must not show a model that is not open.
    PageCalls::showTurntableListIndex(rootItem(), -1);
}

void CHostAppSpinwright::onTurntableRotationStopped(ZLTurntableHardware *)
{
    // Runs on the motor thread: only hand the report over to the GUI thread.
    QMetaObject::invokeMethod(this, "turntableRotationStopped", Qt::QueuedConnection);
}
