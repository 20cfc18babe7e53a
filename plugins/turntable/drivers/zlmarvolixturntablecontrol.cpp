#include "zlmarvolixturntablecontrol.h"

#include "../ui/pluginuirecord.h"
#include "zldcmotor.h"
#include "zlsteppermotor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJSValue>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMetaObject>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSaveFile>
#include <QStringList>
#include <QUrl>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

namespace {

struct TurntableModel
{
    const char *name;
    bool isDCMotor;
    uint32_t countsPerRevolution;
    bool lockMotorWhenIdle;
    bool isMotorEnableActiveHigh;
    bool isClockwiseActiveHigh;
};

// Row = the index the host opens and the model index of a chip's identity record.
const TurntableModel models[ZLMarvolixTurntableControl::modelCount] = {
    {"Marvolix Custom (Expert use)", false, 0, true, true, true},
    {"Marvolix Essential", true, 72, true, true, true},
    {"Marvolix Gemline", false, 6400, false, true, false},
    {"Marvolix Quartz Medium", false, 19520, false, true, false},
    {"Marvolix Quartz Large", false, 12062, false, true, false},
    {"Marvolix Quartz Large, Mark II", false, 13062, false, true, true},
    {"Marvolix Quartz Extra Large", false, 11200, false, true, true},
    {"Marvolix Basalt Large", false, 11520, false, true, false},
    {"Marvolix Basalt Medium", false, 8220, false, true, false},
    {"Marvolix Basalt Extra Large", false, 11520, false, true, false},
};

constexpr int dcMotorRow = 1;

bool isModelRow(int row)
{
    return row >= 0 && row < ZLMarvolixTurntableControl::modelCount;
}

const char *const uiUrl = "qrc:/qml/MarvolixTurntableUi.qml";
const char *const settingsFileName = "MarvolixTurntable-v3.json";
const char *const customKey = "customTurntableAdvancedSettings";
const char *const countsKey = "stepsPerRevolutionText";
const char *const clockwiseKey = "isClockwiseActiveHigh";
const char *const enableKey = "isMotorEnableActiveHigh";
const char *const speedKey = "rotationSpeed";
const char *const lockKey = "isLockTableWhenIdle";
const char *const rampKey = "rampUpDegrees";

// A settings file is a few hundred bytes; anything far larger is not ours.
constexpr qint64 maxSettingsFileSize = 64 * 1024;
constexpr int maxSettingsTextLength = 32;

QString tr(const char *text)
{
    return QCoreApplication::translate("ZLMarvolixTurntableControl", text);
}

QString settingsFilePath()
{
    return QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).filePath(QLatin1String(settingsFileName));
}

QVariant checkedText(const QJsonValue &value)
{
    if (!value.isString() || value.toString().size() > maxSettingsTextLength)
        return QVariant();
    return value.toString();
}

QVariantMap checkedCustomBlock(const QJsonObject &block)
{
    QVariantMap custom;
    const QVariant counts = checkedText(block.value(QLatin1String(countsKey)));
    if (counts.isValid())
        custom.insert(QLatin1String(countsKey), counts);
    for (const char *key : {clockwiseKey, enableKey}) {
        const QJsonValue value = block.value(QLatin1String(key));
        if (value.isBool())
            custom.insert(QLatin1String(key), value.toBool());
    }
    return custom;
}

// Keeps the values whose type and range the UI expects; anything else is dropped.
QVariantMap checkedSettings(const QJsonObject &object)
{
    QVariantMap settings;
    const QJsonValue speed = object.value(QLatin1String(speedKey));
    if (speed.isDouble() && speed.toDouble() >= 0 && speed.toDouble() <= 9)
        settings.insert(QLatin1String(speedKey), std::round(speed.toDouble()));
    const QJsonValue lock = object.value(QLatin1String(lockKey));
    if (lock.isBool())
        settings.insert(QLatin1String(lockKey), lock.toBool());
    const QVariant ramp = checkedText(object.value(QLatin1String(rampKey)));
    if (ramp.isValid())
        settings.insert(QLatin1String(rampKey), ramp);
    const QJsonValue custom = object.value(QLatin1String(customKey));
    if (custom.isObject())
        settings.insert(QLatin1String(customKey), checkedCustomBlock(custom.toObject()));
    return settings;
}

enum class SettingsFile { Missing, Loaded, Bad };

SettingsFile readSettingsFile(const QString &path, QVariantMap *settings)
{
    QFile file(path);
    if (!file.exists())
        return SettingsFile::Missing;
    QString problem;
    QJsonObject object;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
    } else if (file.size() > maxSettingsFileSize) {
        problem = QStringLiteral("larger than %1 bytes").arg(maxSettingsFileSize);
    } else {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        if (error.error != QJsonParseError::NoError)
            problem = error.errorString();
        else if (!document.isObject())
            problem = QStringLiteral("not a JSON object");
        else
            object = document.object();
    }
    file.close();
    if (problem.isEmpty()) {
        *settings = checkedSettings(object);
        return SettingsFile::Loaded;
    }
    // Keep the user's file for inspection rather than overwriting it at the next save.
    const QString kept = path + QLatin1String(".bad");
    QFile::remove(kept);
    const bool moved = QFile::rename(path, kept);
    qWarning().noquote() << QStringLiteral("Turntable settings \"%1\" cannot be read (%2); defaults are used%3.")
                                .arg(QDir::toNativeSeparators(path), problem,
                                     moved ? QStringLiteral(", the file is kept as \"%1\"").arg(QDir::toNativeSeparators(kept))
                                           : QString());
    return SettingsFile::Bad;
}

bool writeSettingsFile(const QString &path, const QVariantMap &settings)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = QJsonDocument(QJsonObject::fromVariantMap(settings)).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

// A JS object returned from QML arrives as a QJSValue inside the variant.
QVariantMap toMap(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QJSValue>())
        return value.value<QJSValue>().toVariant().toMap();
    return value.toMap();
}

// The UI writes the ramp in its own locale ("2,50" under a decimal comma); C is tried first so
// that files written in C-like locales read the same everywhere.
double parseRampDegrees(const QString &text)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double value = c.toDouble(text.trimmed(), &ok);
    if (!ok) {
        QLocale ui;
        ui.setNumberOptions(QLocale::RejectGroupSeparator);
        value = ui.toDouble(text.trimmed(), &ok);
    }
    if (!ok || !std::isfinite(value) || value < 0.0)
        return 0.0;
    return std::min(value, 360.0);
}

} // namespace

struct ZLMarvolixTurntableControl::TurntableControlPrivate
{
    // Guarded by uiMutex: the worker's end-of-rotation refresh reads it.
    std::unique_ptr<PluginUiRecord> pluginUi;
    std::mutex uiMutex;
    int16_t deviceIndex = -1;
    int16_t storedModelIndex = -1;
    // Written on the GUI thread, read by the motor's worker.
    std::atomic<bool> isSpinning{false};
    UiBridgeFactory bridgeFactory;
    // Lives on the GUI thread: the worker's disconnection report is queued to it, and a
    // report still queued when the control goes is dropped with it.
    QObject guiThread;
};

ZLMarvolixTurntableControl::ZLMarvolixTurntableControl()
    : d(new TurntableControlPrivate)
{
}

ZLMarvolixTurntableControl::~ZLMarvolixTurntableControl()
{
    // A motor must never be destroyed while its worker runs.
    d->isSpinning = false;
    closeHardware();
    std::lock_guard<std::mutex> lock(d->uiMutex);
    d->pluginUi.reset();
}

std::list<std::string> ZLMarvolixTurntableControl::availableTurntables()
{
    // Every listing opens each board and reads its EEPROM, many USB transfers on a real board:
    // the unidentified ones are only asked for when no identified turntable answers.
    // The board found by an earlier listing may have been swapped for another since.
    d->deviceIndex = -1;
    d->storedModelIndex = -1;
    std::vector<FTDIController::DeviceEntry> unidentified;
    int unopenable = 0;
    for (const FTDIController::DeviceEntry &entry : FTDIController::availableDevices(1, &unopenable)) {
        if (isModelRow(entry.modelIndex)) {
            d->deviceIndex = int16_t(entry.deviceIndex);
            d->storedModelIndex = int16_t(entry.modelIndex);
            return {models[entry.modelIndex].name};
        }
        // A record naming no row of ours: the chip is usable, its model is not known.
        unidentified.push_back(entry);
    }
    const std::vector<FTDIController::DeviceEntry> plain = FTDIController::availableDevices(0);
    unidentified.insert(unidentified.end(), plain.begin(), plain.end());
    if (!unidentified.empty()) {
        const auto first = std::min_element(unidentified.begin(), unidentified.end(),
                                            [](const FTDIController::DeviceEntry &a, const FTDIController::DeviceEntry &b) {
                                                return a.deviceIndex < b.deviceIndex;
                                            });
        d->deviceIndex = int16_t(first->deviceIndex);
        std::list<std::string> names;
        for (const TurntableModel &model : models)
            names.push_back(model.name);
        return names;
    }
    QString text = tr("The turntable device cannot be found.\n"
                      "\n"
                      "- make sure driver is installed\n"
                      "- make sure turntable is powered on\n"
                      "- make sure turntable is connected via USB\n");
#ifdef Q_OS_LINUX
    // The usual cause on Linux is a missing udev rule, which the five lines above do not name.
    if (unopenable > 0)
        text += tr("- a turntable's USB board was found, but this user may not open it: install the "
                   "udev rule \"60-spinwright-ft245r.rules\" (user guide, \"Access for a normal user\")\n");
#endif
    setLastError(text);
    return {};
}

void ZLMarvolixTurntableControl::createMotor(size_t &index, bool &ok)
{
    ok = false;
    // An identified board is its own model whatever row the host asks for: a stored row from
    // another board would drive this one with the wrong counts per turn and line levels.
    if (isModelRow(d->storedModelIndex))
        index = size_t(d->storedModelIndex);
    if (index >= size_t(modelCount)) {
        setLastError(tr("Cannot find any turntable with the specified index."));
        return;
    }
    if (m_motor)
        closeHardware();

    const TurntableModel &model = models[index];
    if (model.isDCMotor)
        m_motor.reset(new ZLDCMotor(this));
    else
        m_motor.reset(new ZLStepperMotor(this));
    m_motor->countsPerRevolution = model.countsPerRevolution;
    m_motor->lockMotorWhenIdle = model.lockMotorWhenIdle;
    m_motor->isMotorEnableActiveHigh = model.isMotorEnableActiveHigh;
    m_motor->isClockwiseActiveHigh = model.isClockwiseActiveHigh;

    std::wstring errorText;
    ok = m_motor->open(d->deviceIndex, &errorText);
    if (!ok) {
        const QString text = wideToNativeString(errorText);
        // Some open statuses come without a text; the user's dialog must not be empty.
        setLastError(text.isEmpty() ? tr("The turntable device cannot be opened.") : text);
        m_motor.reset();
    }
}

void ZLMarvolixTurntableControl::openHardware(size_t index)
{
    bool ok = false;
    createMotor(index, ok);
    if (!ok) {
        hardwareDisconnected(index);
        return;
    }
    hardwareOpenSucceeded(index, index != size_t(dcMotorRow));
    updateDeviceSettingsUI(int(index));
}

void ZLMarvolixTurntableControl::closeHardware()
{
    if (!m_motor)
        return;
    stopAngleRotation();
    if (m_motor->handle)
        FT_Close(m_motor->handle);
    m_motor->handle = nullptr;
    m_motor.reset();
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

    const size_t openRow = currentTurntableIndex();
    QVariantMap settings;
    QPointer<QQuickItem> item;
    {
        std::lock_guard<std::mutex> lock(d->uiMutex);
        if (d->pluginUi)
            item = d->pluginUi->item;
    }
    if (item) {
        QVariant result;
        QMetaObject::invokeMethod(item.data(), "saveSettings", Q_RETURN_ARG(QVariant, result),
                                  Q_ARG(QVariant, int(openRow)));
        settings = toMap(result);
    }

    if (settings.contains(QLatin1String(speedKey))) {
        const int speed = std::clamp(settings.value(QLatin1String(speedKey)).toInt(), 0, 9);
        m_motor->pulseDelayMs = uint32_t(10 - speed);
    }
    if (settings.contains(QLatin1String(rampKey)))
        m_motor->rampUpDegrees = parseRampDegrees(settings.value(QLatin1String(rampKey)).toString());

    if (openRow == 0) {
        const QVariantMap custom = toMap(settings.value(QLatin1String(customKey)));
        {
            std::lock_guard<std::mutex> lock(d->uiMutex);
            if (d->pluginUi)
                d->pluginUi->customAdvancedSettings = custom;
        }
        bool ok = false;
        const int counts = custom.value(QLatin1String(countsKey)).toString().toInt(&ok, 10);
        m_motor->countsPerRevolution = ok && counts > 0 ? uint32_t(counts) : 0;
        if (m_motor->countsPerRevolution == 0) {
            d->isSpinning = false;
            setLastError(tr("Counts per revolution have not been set."));
            return false;
        }
        m_motor->isMotorEnableActiveHigh = custom.value(QLatin1String(enableKey)).toBool();
        m_motor->isClockwiseActiveHigh = custom.value(QLatin1String(clockwiseKey)).toBool();
    }

    if (settings.contains(QLatin1String(lockKey)))
        m_motor->lockMotorWhenIdle = settings.value(QLatin1String(lockKey)).toBool();
    m_motor->currentAngle = 0.0;
    // Held between the moves of the spin, whatever the user chose for idle times.
    m_motor->lockMotorWhenIdle = true;
    return true;
}

void ZLMarvolixTurntableControl::stepsSpinningWillStop()
{
    if (m_motor)
        m_motor->rotateToAngle(360.0);
    d->isSpinning = false;
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
    d->isSpinning = false;
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
    const size_t row = currentTurntableIndex();
    d->isSpinning = false;
    closeHardware();
    setLastError(tr("The turntable was disconnected."));
    hardwareDisconnected(row);
}

void ZLMarvolixTurntableControl::updateDeviceSettingsUI(int index)
{
    QVariant settings;
    if (index == 0) {
        std::lock_guard<std::mutex> lock(d->uiMutex);
        if (d->pluginUi)
            settings = d->pluginUi->customAdvancedSettings;
    } else if (index != -1) {
        QVariantMap device;
        device.insert(QLatin1String(countsKey), QString::number(countsPerRevolution()));
        device.insert(QLatin1String(clockwiseKey), m_motor ? m_motor->isClockwiseActiveHigh : false);
        device.insert(QLatin1String(enableKey), m_motor ? m_motor->isMotorEnableActiveHigh : false);
        settings = device;
    }

    std::lock_guard<std::mutex> lock(d->uiMutex);
    if (!d->pluginUi || !d->pluginUi->item)
        return;
    // Posted, not called: the worker thread asks too, and the QML must run on the GUI thread.
    QQuickItem *item = d->pluginUi->item.data();
    QMetaObject::invokeMethod(
        item,
        [item, index, settings]() {
            QMetaObject::invokeMethod(item, "updateDeviceSettingsUI", Q_ARG(QVariant, index), Q_ARG(QVariant, settings));
        },
        Qt::QueuedConnection);
}

QQuickItem *ZLMarvolixTurntableControl::createPluginUIFrameView()
{
    QQmlEngine *engine = globalQmlEngine();
    auto record = std::make_unique<PluginUiRecord>();
    record->context = new QQmlContext(engine->rootContext());

    std::list<std::string> names = availableTurntables();
    if (!names.empty())
        names.pop_front();
    QStringList standardModels;
    for (const std::string &name : names)
        standardModels.append(QString::fromStdString(name));
    record->context->setContextProperty(QStringLiteral("MarvolixTurntableStandardDevicesModel"), standardModels);

    QQmlComponent component(engine, QUrl(QLatin1String(uiUrl)));
    QObject *object = component.create(record->context);
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        delete object;
        setLastError(component.errorString());
        return nullptr;
    }
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    record->item = item;

    QVariantMap settings;
    if (readSettingsFile(settingsFilePath(), &settings) == SettingsFile::Loaded) {
        QMetaObject::invokeMethod(item, "loadSettings", Q_ARG(QVariant, QVariant(settings)));
        record->customAdvancedSettings = settings.value(QLatin1String(customKey)).toMap();
    }

    if (d->bridgeFactory) {
        record->bridge = d->bridgeFactory(this, item);
        record->context->setContextProperty(QStringLiteral("MarvolixTurntableQmlControl"), record->bridge.data());
    }

    {
        std::lock_guard<std::mutex> lock(d->uiMutex);
        d->pluginUi = std::move(record);
    }
    updateDeviceSettingsUI(int(currentTurntableIndex()));
    setLastError(tr("Turntable settings"));
    return item;
}

bool ZLMarvolixTurntableControl::pluginUIFrameViewWillClose(QQuickItem *item)
{
    std::unique_ptr<PluginUiRecord> record;
    {
        std::lock_guard<std::mutex> lock(d->uiMutex);
        record = std::move(d->pluginUi);
    }
    if (!item && record)
        item = record->item.data();

    QVariantMap settings;
    if (item) {
        QVariant result;
        QMetaObject::invokeMethod(item, "saveSettings", Q_RETURN_ARG(QVariant, result),
                                  Q_ARG(QVariant, int(currentTurntableIndex())));
        settings = toMap(result);
    }
    // An empty answer would wipe the file; keep what was saved before.
    if (!settings.isEmpty()) {
        if (record) {
            // The custom block is only in the answer while the custom turntable is open.
            if (settings.contains(QLatin1String(customKey)))
                record->customAdvancedSettings = toMap(settings.value(QLatin1String(customKey)));
            else if (!record->customAdvancedSettings.isEmpty())
                settings.insert(QLatin1String(customKey), record->customAdvancedSettings);
        }
        if (!writeSettingsFile(settingsFilePath(), settings))
            qWarning().noquote() << QStringLiteral("Turntable settings cannot be written to \"%1\".")
                                        .arg(QDir::toNativeSeparators(settingsFilePath()));
    }
    record.reset();
    return ZLTurntableHardware::pluginUIFrameViewWillClose(item);
}

bool ZLMarvolixTurntableControl::startRotationPreview(int degrees, bool isCounterclockwise)
{
    if (!m_motor)
        return false;
    joinFinishedWorker();
    if (!m_motor->isConnected() || m_motor->isRotating())
        return false;
    m_motor->currentAngle = 0.0;
    m_motor->lockMotorWhenIdle = true;
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

QVariantMap ZLMarvolixTurntableControl::customTurntableImportStandardSettings(int predefinedIndex)
{
    if (predefinedIndex < 1 || predefinedIndex >= modelCount)
        return {};
    closeHardware();
    size_t row = size_t(predefinedIndex);
    bool ok = false;
    createMotor(row, ok);
    const uint32_t counts = countsPerRevolution();
    const bool clockwiseActiveHigh = m_motor ? m_motor->isClockwiseActiveHigh : false;
    closeHardware();

    size_t custom = 0;
    createMotor(custom, ok);

    QVariantMap imported;
    imported.insert(QLatin1String(countsKey), QString::number(counts));
    imported.insert(QLatin1String(clockwiseKey), clockwiseActiveHigh);
    imported.insert(QLatin1String(enableKey), true);
    return imported;
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
    if (m_motor)
        m_motor->pulseDelayMs = uint32_t(std::clamp(speed, 0, 9));
}

void ZLMarvolixTurntableControl::setLockMotorWhenIdle(bool value)
{
    if (!m_motor)
        return;
    m_motor->lockMotorWhenIdle = value;
    m_motor->applyIdleLock();
}

void ZLMarvolixTurntableControl::setUiBridgeFactory(UiBridgeFactory factory)
{
    d->bridgeFactory = std::move(factory);
}
