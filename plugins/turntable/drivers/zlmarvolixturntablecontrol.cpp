#include "zlmarvolixturntablecontrol.h"

#include "zldcmotor.h"
#include "zlsteppermotor.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ZLMarvolixTurntableControl", text);
}

} // namespace

struct ZLMarvolixTurntableControl::TurntableControlPrivate
{
    // Set before any worker exists; its refresh is the one call a worker makes.
    std::unique_ptr<TurntableSettingsUi> ui;
    TurntableBoardList boards;
    // Written on the GUI thread, read by the motor's worker.
    std::atomic<bool> isSpinning{false};
    // The "Lock table when idle" box as the user last set it; GUI thread only. A spin holds the
    // table whatever it says, and gives the motor back to it at the spin's end.
    std::optional<bool> lockWhenIdle;
    // Lives on the GUI thread: the worker's disconnection report and the device watch's news
    // are queued to it, and a report still queued when the control goes is dropped with it.
    QObject guiThread;
    // Set by the watch's thread when news is queued, cleared on the GUI thread when it is handled,
    // so that a burst of arrivals makes one listing.
    std::atomic<bool> devicesChangePending{false};
    // Destroyed first: no news may come once the rest is gone.
    std::unique_ptr<d2xx::DeviceWatch> watch;
};

ZLMarvolixTurntableControl::ZLMarvolixTurntableControl()
    : d(new TurntableControlPrivate)
{
}

ZLMarvolixTurntableControl::~ZLMarvolixTurntableControl()
{
    d->watch.reset();
    // A motor must never be destroyed while its worker runs.
    d->isSpinning = false;
    closeHardware();
    d->ui.reset();
}

std::list<std::string> ZLMarvolixTurntableControl::availableTurntables()
{
    TurntableBoardList::Listing listing = d->boards.list(m_motor ? m_motor->handle : nullptr);
    // The host's index of the open board follows the list: its row alone, or its position.
    if (listing.openIndex)
        setCurrentTurntableIndex(*listing.openIndex);
    offerToPanel(listing.names);
    if (!listing.names.empty())
        return listing.names;
#ifdef Q_OS_LINUX
    // Boards that are there but may not be opened are the one cause found: "cannot be found" and
    // "make sure driver is installed" would send the user after the wrong problem.
    if (listing.unopenable > 0) {
        setLastError(tr("A turntable's USB board was found, but this user may not open it.\n"
                        "\n"
                        "- install the udev rule \"60-spinwright-ft245r.rules\" (user guide, \"Access for a "
                        "normal user\")\n"
                        "- then unplug the turntable and plug it in again\n"));
        return {};
    }
#endif
    const QString text = tr("The turntable device cannot be found.\n"
                            "\n"
                            "- make sure driver is installed\n"
                            "- make sure turntable is powered on\n"
                            "- make sure turntable is connected via USB\n");
    setLastError(text);
    return {};
}

void ZLMarvolixTurntableControl::offerToPanel(std::list<std::string> names)
{
    if (!d->ui)
        return;
    if (!names.empty())
        names.pop_front();
    QStringList standardModels;
    for (const std::string &name : names)
        standardModels.append(QString::fromStdString(name));
    d->ui->setStandardModels(standardModels);
}

void ZLMarvolixTurntableControl::createMotor(size_t &index, bool &ok)
{
    ok = false;
    TurntableBoardList::Choice choice;
    if (!d->boards.choose(index, &choice)) {
        setLastError(tr("Cannot find any turntable with the specified index."));
        return;
    }
    index = choice.row;
    if (m_motor)
        closeHardware();

    const TurntableModel &model = turntableModels[index];
    if (model.isDCMotor)
        m_motor.reset(new ZLDCMotor(this));
    else
        m_motor.reset(new ZLStepperMotor(this));
    m_motor->countsPerRevolution = model.countsPerRevolution;
    m_motor->lockMotorWhenIdle = model.lockMotorWhenIdle;
    m_motor->isMotorEnableActiveHigh = model.isMotorEnableActiveHigh;
    m_motor->isClockwiseActiveHigh = model.isClockwiseActiveHigh;

    std::wstring errorText;
    ok = m_motor->open(choice.deviceIndex, &errorText);
    if (!ok) {
        const QString text = wideToNativeString(errorText);
        // Some open statuses come without a text; the user's dialog must not be empty.
        setLastError(text.isEmpty() ? tr("The turntable device cannot be opened.") : text);
        m_motor.reset();
        return;
    }
    // Boards that came or went since the listing move the others in the device list: the board
    // at that place now may be another one, which must not be driven as the one chosen.
    if (!choice.serialNumber.empty() && openSerialNumber() != choice.serialNumber) {
        FT_Close(m_motor->handle);
        m_motor->handle = nullptr;
        m_motor.reset();
        ok = false;
        setLastError(tr("The turntables attached have changed. Choose the turntable again."));
        return;
    }
    d->boards.opened(choice);
}

std::string ZLMarvolixTurntableControl::openSerialNumber() const
{
    char serial[16] = {};
    if (!m_motor || !m_motor->handle
        || FT_GetDeviceInfo(m_motor->handle, nullptr, nullptr, serial, nullptr, nullptr) != FT_OK)
        return std::string();
    return std::string(serial, strnlen(serial, sizeof serial));
}

void ZLMarvolixTurntableControl::openHardware(size_t index)
{
    // Among several identified boards the host knows the open one by its position in the list.
    const size_t asked = index;
    const bool byPosition = d->boards.choosesByPosition();
    bool ok = false;
    createMotor(index, ok);
    if (!ok) {
        hardwareDisconnected(byPosition ? asked : index);
        return;
    }
    hardwareOpenSucceeded(byPosition ? asked : index, !turntableModels[index].isDCMotor);
    updateDeviceSettingsUI(int(index));
}

void ZLMarvolixTurntableControl::closeHardware()
{
    if (!m_motor)
        return;
    stopAngleRotation();
    // The motor is left as the box says, not as the last spin or nudge had it.
    if (d->lockWhenIdle && m_motor->handle && !m_motor->isBoardLost()) {
        m_motor->lockMotorWhenIdle = *d->lockWhenIdle;
        m_motor->applyIdleLock();
    }
    if (m_motor->handle)
        FT_Close(m_motor->handle);
    m_motor->handle = nullptr;
    m_motor.reset();
    d->boards.closed();
}

void ZLMarvolixTurntableControl::watchDevices()
{
    if (d->watch)
        return;
    d->watch = d2xx::watchDevices([this] {
        if (!d->devicesChangePending.exchange(true))
            QMetaObject::invokeMethod(&d->guiThread, [this] { devicesChanged(); }, Qt::QueuedConnection);
    });
}

bool ZLMarvolixTurntableControl::isWatchingDevices() const
{
    return d->watch != nullptr;
}

void ZLMarvolixTurntableControl::pluginDidInitialized()
{
    watchDevices();
}

void ZLMarvolixTurntableControl::devicesChanged()
{
    d->devicesChangePending = false;
    // The open board may be the one that left; an idle board is not written to, so this is the
    // only way its loss is seen before the user tries it.
    if (m_motor && !m_motor->isConnected())
        loseOpenBoard();
    turntableDevicesChanged();
}

unsigned int ZLMarvolixTurntableControl::countsPerRevolution()
{
    return m_motor ? m_motor->countsPerRevolution : 0;
}

FTDIController *ZLMarvolixTurntableControl::motor() const
{
    return m_motor.get();
}

bool ZLMarvolixTurntableControl::isSpinning() const
{
    return d->isSpinning;
}

bool ZLMarvolixTurntableControl::stepsSpinningWillStart()
{
    if (!m_motor) {
        setLastError(tr("No turntable is open."));
        return false;
    }
    // The spin takes the motor over; a preview still turning would race with its set-up.
    stopRotationPreview();
    d->isSpinning = true;

    // The row opened, not the host's index, which is a list position among several boards.
    const size_t openRow = size_t(d->boards.openRow());
    const TurntableSettingsUi::SpinSettings settings =
        d->ui ? d->ui->spinSettings(d->boards.openRow()) : TurntableSettingsUi::SpinSettings();
    // 10 - speed: the stored slider's 9 is the fastest spin, 1 ms a count.
    if (settings.rotationSpeed)
        m_motor->pulseDelayMs = uint32_t(10 - std::clamp(*settings.rotationSpeed, 0, 9));
    if (settings.rampUpDegrees)
        m_motor->rampUpDegrees = *settings.rampUpDegrees;

    if (openRow == size_t(customTurntableRow)) {
        // The text the panel shows decides, not a number read from it: "9999999999" or "3" is
        // refused for what it is, never taken as "not set" or turned into another number.
        uint32_t counts = 0;
        const QString problem = customCountsProblem(settings.customCountsText, &counts);
        m_motor->countsPerRevolution = counts;
        if (!problem.isEmpty()) {
            d->isSpinning = false;
            setLastError(problem);
            return false;
        }
        m_motor->isMotorEnableActiveHigh = settings.customMotorEnableActiveHigh;
        m_motor->isClockwiseActiveHigh = settings.customClockwiseActiveHigh;
    }

    if (settings.lockMotorWhenIdle)
        d->lockWhenIdle = *settings.lockMotorWhenIdle;
    m_motor->currentAngle = 0.0;
    // Over the user's choice on purpose: the table is held between a spin's moves; the spin's
    // end gives the motor back to the box.
    m_motor->lockMotorWhenIdle = true;
    return true;
}

void ZLMarvolixTurntableControl::stepsSpinningWillStop()
{
    if (m_motor)
        m_motor->rotateToAngle(360.0);
    d->isSpinning = false;
    followLockBox();
}

void ZLMarvolixTurntableControl::followLockBox()
{
    // A move still running applies it at its end.
    if (!m_motor || !d->lockWhenIdle || d->isSpinning)
        return;
    m_motor->lockMotorWhenIdle = *d->lockWhenIdle;
    m_motor->applyIdleLock();
}

bool ZLMarvolixTurntableControl::startAngleRotation(float degrees)
{
    // Returning true without a motion would leave the spin waiting for a report that never comes.
    if (!m_motor) {
        setLastError(tr("No turntable is open."));
        return false;
    }
    joinFinishedWorker();
    if (m_motor->isRotating()) {
        setLastError(tr("The turntable is still turning."));
        return false;
    }
    // A request within 0.01 degrees of zero moves nothing, and neither does one less than half a count
    // away (zero counts would make the worker turn until stopped): the table is there already.
    // Report the end at once so that a spin goes on instead of waiting for ever.
    bool alreadyThere = true;
    if (degrees > 0.01f || degrees < -0.01f) {
        m_motor->direction = degrees > 0.0f ? Clockwise : Counterclockwise;
        m_motor->rotateToAngle(-double(degrees));
        alreadyThere = m_motor->stepsToGo == 0;
    }
    if (alreadyThere) {
        rotationEnded();
        return true;
    }
    if (!m_motor->handle || !m_motor->prepareRotation() || !m_motor->startRotation()) {
        setLastError(tr("The turntable does not answer. Check its USB cable."));
        return false;
    }
    return true;
}

void ZLMarvolixTurntableControl::stopAngleRotation()
{
    stopRotationPreview();
    const bool wasSpinning = d->isSpinning.exchange(false);
    if (wasSpinning)
        followLockBox();
}

void ZLMarvolixTurntableControl::boardVanished()
{
    // A move cut short by a vanished board must not read as a finished one.
    QMetaObject::invokeMethod(&d->guiThread, [this] { reportBoardLost(); }, Qt::QueuedConnection);
}

void ZLMarvolixTurntableControl::rotationEnded()
{
    updateDeviceSettingsUI(-1);
    if (d->isSpinning)
        turntableRotationStopped();
}

void ZLMarvolixTurntableControl::reportBoardLost()
{
    // Closed or reopened since the report was queued: nothing is lost any more.
    if (!m_motor || !m_motor->isBoardLost())
        return;
    loseOpenBoard();
}

void ZLMarvolixTurntableControl::loseOpenBoard()
{
    const size_t row = currentTurntableIndex();
    d->isSpinning = false;
    closeHardware();
    setLastError(tr("The turntable was disconnected."));
    hardwareDisconnected(row);
}

void ZLMarvolixTurntableControl::updateDeviceSettingsUI(int index)
{
    if (!d->ui)
        return;
    TurntableSettingsUi::DeviceSettings device;
    if (isStandardTurntableRow(index) && m_motor) {
        device.countsPerRevolution = m_motor->countsPerRevolution;
        device.isClockwiseActiveHigh = m_motor->isClockwiseActiveHigh;
        device.isMotorEnableActiveHigh = m_motor->isMotorEnableActiveHigh;
    }
    d->ui->refresh(index, device);
}

QQuickItem *ZLMarvolixTurntableControl::createPluginUIFrameView()
{
    if (!d->ui)
        return ZLTurntableHardware::createPluginUIFrameView();
    std::list<std::string> names = availableTurntables();
    if (!names.empty())
        names.pop_front();
    QStringList standardModels;
    for (const std::string &name : names)
        standardModels.append(QString::fromStdString(name));

    QString error;
    QQuickItem *item = d->ui->create(this, standardModels, &error);
    if (!item) {
        setLastError(error);
        return nullptr;
    }
    updateDeviceSettingsUI(d->boards.openRow());
    // Not a failure: the text names the panel for hosts that caption it from lastError().
    setLastError(tr("Turntable settings"));
    return item;
}

bool ZLMarvolixTurntableControl::pluginUIFrameViewWillClose(QQuickItem *item)
{
    // The host closes the device first; the panel's settings are those of the row it had open.
    QString error;
    if (d->ui && !d->ui->close(item, d->boards.lastOpenRow(), &error)) {
        setLastError(error);
        return false;
    }
    return ZLTurntableHardware::pluginUIFrameViewWillClose(item);
}

void ZLMarvolixTurntableControl::setSettingsUi(std::unique_ptr<TurntableSettingsUi> ui)
{
    d->ui = std::move(ui);
}

bool ZLMarvolixTurntableControl::startRotationPreview(int degrees, bool isCounterclockwise)
{
    if (!m_motor)
        return false;
    joinFinishedWorker();
    if (!m_motor->isConnected() || m_motor->isRotating())
        return false;
    m_motor->currentAngle = 0.0;
    // After the nudge the motor follows the box; the move itself powers it either way.
    if (d->lockWhenIdle)
        m_motor->lockMotorWhenIdle = *d->lockWhenIdle;
    m_motor->direction = isCounterclockwise ? Counterclockwise : Clockwise;
    if (degrees == 0)
        m_motor->setSteps(0);
    else if (m_motor->rotateByAngle(degrees) == 0.0 && m_motor->countsPerRevolution != 0)
        return false; // A nudge below half a count would otherwise turn until stopped.
    if (!m_motor->handle || !m_motor->prepareRotation())
        return false;
    return m_motor->startRotation();
}

void ZLMarvolixTurntableControl::stopRotationPreview()
{
    if (!m_motor)
        return;
    m_motor->stopRotation();
    joinFinishedWorker();
}

void ZLMarvolixTurntableControl::joinFinishedWorker()
{
    // A worker that has left its loop may still be finishing its move and reporting.
    if (m_motor && m_motor->worker && !m_motor->isRotating() && m_motor->worker->thread.joinable())
        m_motor->worker->thread.join();
}

TurntableSettingsUi::DeviceSettings ZLMarvolixTurntableControl::customTurntableImportStandardSettings(int predefinedIndex)
{
    TurntableSettingsUi::DeviceSettings imported;
    if (!isStandardTurntableRow(predefinedIndex))
        return imported;
    closeHardware();
    size_t row = size_t(predefinedIndex);
    bool ok = false;
    createMotor(row, ok);
    imported.countsPerRevolution = countsPerRevolution();
    imported.isClockwiseActiveHigh = m_motor ? m_motor->isClockwiseActiveHigh : false;
    // The custom board's enable is taken as active high, whatever the standard model has.
    imported.isMotorEnableActiveHigh = true;
    closeHardware();

    size_t custom = customTurntableRow;
    createMotor(custom, ok);
    return imported;
}

QString ZLMarvolixTurntableControl::customCountsProblem(const QString &text, uint32_t *counts)
{
    if (counts)
        *counts = 0;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return tr("Counts per revolution have not been set.");
    // Digits only: toULongLong() alone would take a sign.
    bool ok = std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c >= '0' && c <= '9'; });
    const qulonglong value = ok ? trimmed.toULongLong(&ok, 10) : 0;
    if (!ok || value > maximumCustomCounts)
        return tr("Counts per revolution must be a whole number from %1 to %2.")
            .arg(minimumCustomCounts)
            .arg(maximumCustomCounts);
    if (value < minimumCustomCounts)
        return tr("With %1 counts per revolution the table cannot stop at each picture of a spin: at least %2 "
                  "are needed.")
            .arg(value)
            .arg(minimumCustomCounts);
    if (counts)
        *counts = uint32_t(value);
    return QString();
}

void ZLMarvolixTurntableControl::triggerShutterRelease()
{
    if (m_motor)
        m_motor->triggerShutterRelease();
}

void ZLMarvolixTurntableControl::setRampUpDegrees(float degrees)
{
    if (m_motor)
        m_motor->rampUpDegrees = double(degrees);
}

void ZLMarvolixTurntableControl::setRotationSpeed(int speed)
{
    // The slider value itself, not a spin's 10 - speed: previews have always run at this delay.
    if (m_motor)
        m_motor->pulseDelayMs = uint32_t(std::clamp(speed, 0, 9));
}

void ZLMarvolixTurntableControl::setLockMotorWhenIdle(bool value)
{
    d->lockWhenIdle = value;
    // During a move the worker applies it at the move's end (the enable line never drops under
    // a turning table); during a spin the spin's end does.
    followLockBox();
}
