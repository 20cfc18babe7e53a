#include "zlturntablespins.h"
#include "zlturntablespins_p.h"

#include "decimaltext.h"
#include "settingsfile.h"
#include "zlturntablehardware.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>

#include <cmath>

namespace {

const char settingsFileName[] = "TurntableSpins.json";
const char editorUrl[] = "qrc:/qml/TurntableSpins.qml";
const char anglesModelProperty[] = "ShootingAnglesModel";

// Far more than any spin needs; the limit only keeps a stray file from being read whole.
constexpr qint64 maxSettingsFileSize = 1024 * 1024;
// Two decimals give no more distinct angles in a turn; it also keeps the 16-bit step index
// of a spin from wrapping round and starting the spin over.
constexpr int maxImagesCount = 36000;
constexpr int maxAngleCount = maxImagesCount + 1;
// Keeps a hand-edited delay from overflowing the millisecond timers; the editor offers the same.
constexpr float maxDelaySeconds = 24.0f * 60.0f * 60.0f;
// What a first start offers: a common spin that needs nothing else set.
constexpr int defaultImagesCount = 24;
constexpr double defaultDelaySeconds = 1.0;

QString tr(const char *text)
{
    return QCoreApplication::translate("ZLTurntableSpins", text);
}

// A number, or a text in either decimal notation ("1.5" or "1,5"), then in locale's own; anything
// else is 0 and not *valid.
float decimalValue(const QVariant &value, bool *valid = nullptr, const QLocale &locale = QLocale::c())
{
    bool ok = false;
    float result = 0.0f;
    if (value.userType() == QMetaType::QString)
        result = float(DecimalText::parse(value.toString(), &ok, locale));
    else
        result = value.toFloat(&ok);
    ok = ok && std::isfinite(result);
    if (valid)
        *valid = ok;
    return ok ? result : 0.0f;
}

float delayValue(const QVariant &value)
{
    return qBound(0.0f, decimalValue(value), maxDelaySeconds);
}

bool isAngleList(const QJsonValue &value)
{
    if (!value.isArray() || value.toArray().size() > maxAngleCount)
        return false;
    for (const QJsonValue &entry : value.toArray()) {
        bool ok = false;
        decimalValue(entry.toString(), &ok);
        if (!entry.isString() || !ok)
            return false;
    }
    return true;
}

// Keys whose values have the wrong type are removed and named in the result.
QStringList dropInvalidValues(QJsonObject &object)
{
    QStringList invalid;
    auto check = [&](const char *key, bool valid) {
        const QString name = QLatin1String(key);
        if (object.contains(name) && !valid) {
            invalid << name;
            object.remove(name);
        }
    };
    const QJsonValue mode = object.value(QLatin1String("shootingMode"));
    check("shootingAnglesList", isAngleList(object.value(QLatin1String("shootingAnglesList"))));
    check("shootingMode", mode.isDouble() && mode.toDouble() == std::floor(mode.toDouble()));
    check("preCaptureDelay", object.value(QLatin1String("preCaptureDelay")).isDouble());
    check("postCaptureDelay", object.value(QLatin1String("postCaptureDelay")).isDouble());
    check("clockwise", object.value(QLatin1String("clockwise")).isBool());
    check("isManualCapture", object.value(QLatin1String("isManualCapture")).isBool());
    check("videoDegrees", object.value(QLatin1String("videoDegrees")).isDouble());
    return invalid;
}

// Keeps an unusable file for the user instead of overwriting it at the next save.
QString setAside(const QString &path)
{
    const QString badPath = SettingsFile::keepAside(path);
    if (badPath.isEmpty())
        return tr("it could not be moved aside");
    return tr("it has been kept as \"%1\"").arg(QDir::toNativeSeparators(badPath));
}

// The motor count at which the table stops for an angle of the spin.
qint64 countOf(double degrees, unsigned int countsPerRevolution)
{
    return qint64(std::llround(degrees * double(countsPerRevolution) / 360.0));
}

QString angleText(double degrees)
{
    return QString::number(degrees, 'f', 2);
}

// Why the table cannot stop at next as a position of its own after previous (first: the list's
// first entry); empty when it can. A table whose counts are not known is not judged.
QString unreachableReason(double first, double previous, double next, bool hasPrevious,
                          unsigned int countsPerRevolution)
{
    if (countsPerRevolution == 0 || !hasPrevious)
        return QString();
    const qint64 at = countOf(next, countsPerRevolution);
    if (at <= countOf(previous, countsPerRevolution))
        return tr("The turntable turns in %1 counts per revolution and stops at %2 and %3 degrees "
                  "on the same count. Use angles further apart, or fewer images (at most %1).")
                .arg(countsPerRevolution).arg(angleText(previous), angleText(next));
    if (at - countOf(first, countsPerRevolution) >= qint64(countsPerRevolution))
        return tr("The turntable turns in %1 counts per revolution and stops at %2 and %3 degrees "
                  "on the same position, one turn apart.")
                .arg(countsPerRevolution).arg(angleText(first), angleText(next));
    return QString();
}

} // namespace

ZLTurntableSpinsPrivateExOS::ZLTurntableSpinsPrivateExOS(QObject *editorItem)
    : item(editorItem)
{
    connect(editorItem, SIGNAL(fixedImagesCountChanged(int)), this, SLOT(fixedImagesCountChanged(int)));
    connect(editorItem, SIGNAL(customAngleAdded(QString)), this, SLOT(customAngleAdded(QString)));
}

void ZLTurntableSpinsPrivateExOS::publishAngles()
{
    globalQmlEngine()->rootContext()->setContextProperty(QLatin1String(anglesModelProperty), angleTexts);
}

void ZLTurntableSpinsPrivateExOS::fixedImagesCountChanged(int imagesCount)
{
    // More images than the table has positions: the list stays as it was, and the editor, which
    // shows the count of the list, says why.
    if (imagesCount > maxImagesCount
        || (imagesCount > 0 && countsPerRevolution > 0 && unsigned(imagesCount) > countsPerRevolution)) {
        publishAngles();
        return;
    }
    angleTexts.clear();
    angleTexts << QStringLiteral("0.00");
    const float step = 360.0f / float(imagesCount);
    for (int i = 1; i < imagesCount; ++i) {
        const float angle = float(i) * step;
        angleTexts << QString::number(angle, 'f', 2);
    }
    publishAngles();
}

void ZLTurntableSpinsPrivateExOS::customAngleAdded(const QString &customAngle)
{
    // The editor shows this when the list stays as it was; empty: the usual "greater than" rule.
    QString refusal;
    if (customAngle.isEmpty()) {
        angleTexts.clear();
    } else {
        bool ok = false;
        const float value = decimalValue(customAngle, &ok, QLocale::system());
        const float last = angleTexts.isEmpty() ? -1.0f : decimalValue(angleTexts.last());
        if (!ok || value < 0.0f || value > 360.0f) {
            refusal = tr("Enter an angle from 0 to 360 degrees.");
        } else if (value > last) {
            refusal = unreachableReason(angleTexts.isEmpty() ? 0.0 : decimalValue(angleTexts.first()), last,
                                        value, !angleTexts.isEmpty(), countsPerRevolution);
            if (refusal.isEmpty())
                angleTexts << angleText(value);
        }
    }
    if (item)
        item->setProperty("angleRefusal", refusal);
    publishAngles();
}

ZLTurntableSpins::ZLTurntableSpins()
    : d(new TurntableSpinsPrivate)
{
}

ZLTurntableSpins::~ZLTurntableSpins()
{
    delete d->companion;
    delete d;
}

ZLRegisterPlugin::PluginType ZLTurntableSpins::pluginType() const
{
    return ZLRegisterPlugin::TurntableHardwarePlugin;
}

QQuickItem *ZLTurntableSpins::createPluginUIFrameView()
{
    QQmlEngine *engine = globalQmlEngine();
    engine->rootContext()->setContextProperty(QLatin1String(anglesModelProperty), QStringList());

    QQmlComponent component(engine, QUrl(QLatin1String(editorUrl)));
    QObject *object = component.create(engine->rootContext());
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        delete object;
        setLastError(tr("The spin settings editor could not be created: %1").arg(component.errorString()));
        return nullptr;
    }

    delete d->companion;
    d->companion = new ZLTurntableSpinsPrivateExOS(item);
    updateTurntableStepsPerRevolution();

    const QString path = settingsFilePath();
    QJsonObject stored;
    QString problem;
    const SettingsFile::ReadResult read = SettingsFile::readObject(path, maxSettingsFileSize, &stored, &problem);
    if (read == SettingsFile::ReadResult::Loaded) {
        const QStringList invalid = dropInvalidValues(stored);
        if (!invalid.isEmpty())
            problem = tr("invalid values for %1").arg(invalid.join(QLatin1String(", ")));
    }
    if (!problem.isEmpty()) {
        d->settingsFileError = tr("The spin settings file \"%1\" could not be read (%2). "
                                  "Default values are used in its place; %3.")
                .arg(QDir::toNativeSeparators(path), problem, setAside(path));
        setLastError(d->settingsFileError);
    }

    // What the file does not say starts from values a spin can run with at once.
    QVariantMap settings{{QStringLiteral("shootingMode"), 0},
                         {QStringLiteral("clockwise"), true},
                         {QStringLiteral("preCaptureDelay"), defaultDelaySeconds},
                         {QStringLiteral("postCaptureDelay"), defaultDelaySeconds},
                         {QStringLiteral("isManualCapture"), false},
                         {QStringLiteral("videoDegrees"), 360}};
    const QVariantMap storedSettings = stored.toVariantMap();
    for (auto it = storedSettings.cbegin(); it != storedSettings.cend(); ++it)
        settings.insert(it.key(), it.value());
    const QVariant angles = settings.value(QLatin1String("shootingAnglesList"));
    if (angles.isValid()) {
        d->companion->angleTexts = angles.toStringList();
        d->companion->publishAngles();
    } else {
        d->companion->fixedImagesCountChanged(defaultImagesCount);
    }
    QMetaObject::invokeMethod(item, "loadSettings", Q_ARG(QVariant, settings));
    return item;
}

bool ZLTurntableSpins::pluginUIFrameViewWillClose(QQuickItem *)
{
    if (!d->companion)
        return true;
    readSettingsFromUi();

    QVariantMap map;
    map.insert(QLatin1String("shootingAnglesList"), d->companion->angleTexts);
    map.insert(QLatin1String("shootingMode"), d->shootingMode);
    map.insert(QLatin1String("preCaptureDelay"), d->preCaptureDelay);
    map.insert(QLatin1String("postCaptureDelay"), d->postCaptureDelay);
    map.insert(QLatin1String("videoDegrees"), d->videoDegrees);
    map.insert(QLatin1String("clockwise"), d->direction == 0);
    map.insert(QLatin1String("isManualCapture"), d->isManualCapture);

    QString error;
    if (!SettingsFile::writeObject(settingsFilePath(), QJsonObject::fromVariantMap(map), &error)) {
        setLastError(tr("The spin settings could not be saved to \"%1\": %2")
                     .arg(QDir::toNativeSeparators(settingsFilePath()), error));
        // The editor stays, so that a second call can try again.
        return false;
    }

    delete d->companion;
    d->companion = nullptr;
    return true;
}

ZLTurntableHardware *ZLTurntableSpins::turntable() const
{
    return m_turntable;
}

void ZLTurntableSpins::setTurntable(ZLTurntableHardware *turntable)
{
    m_turntable = turntable;
}

void ZLTurntableSpins::updateTurntableStepsPerRevolution()
{
    if (!d->companion || !d->companion->item || !m_turntable)
        return;
    d->companion->countsPerRevolution = m_turntable->countsPerRevolution();
    // The editor never offers more images than a turn has distinct positions for.
    const int top = d->companion->countsPerRevolution == 0
                        ? maxImagesCount
                        : int(qMin<unsigned int>(d->companion->countsPerRevolution, maxImagesCount));
    QMetaObject::invokeMethod(d->companion->item, "setTurntableStepsPerRevolution",
                              Q_ARG(QVariant, QVariant(top)));
}

void ZLTurntableSpins::removeVideoMode()
{
    if (!d->companion || !d->companion->item)
        return;
    QMetaObject::invokeMethod(d->companion->item, "removeVideoMode");
}

void ZLTurntableSpins::readSettingsFromUi()
{
    if (!d->companion || !d->companion->item)
        return;

    d->shootingAngles.clear();
    for (const QString &text : qAsConst(d->companion->angleTexts))
        d->shootingAngles << decimalValue(text);

    QVariant result;
    QMetaObject::invokeMethod(d->companion->item, "saveSettings", Q_RETURN_ARG(QVariant, result));
    const QVariantMap settings = SettingsFile::mapFromQml(result);
    d->shootingMode = settings.value(QLatin1String("shootingMode")).toInt();
    d->preCaptureDelay = delayValue(settings.value(QLatin1String("preCaptureDelay")));
    d->postCaptureDelay = delayValue(settings.value(QLatin1String("postCaptureDelay")));
    d->direction = settings.value(QLatin1String("clockwise")).toBool() ? 0 : 1;
    d->videoDegrees = decimalValue(settings.value(QLatin1String("videoDegrees")));
    d->isManualCapture = settings.value(QLatin1String("isManualCapture")).toBool();
}

SpinStepResult ZLTurntableSpins::nextSpinStep()
{
    const int i = d->stepIndex;
    const int count = d->shootingAngles.size();
    if (i > count)
        return SpinStepResult::Finished;

    float target = 360.0f;
    if (i == count) {
        d->stepIndex = quint16(i + 1);
    } else if (i == 0 && d->shootingAngles.first() == 0.0f) {
        d->stepIndex = 1;
        return SpinStepResult::AtStartAngle;
    } else {
        target = d->shootingAngles.at(i);
        d->stepIndex = quint16(i + 1);
    }

    if (d->direction == 1)
        target = -target;
    if (!m_turntable) {
        setLastError(tr("No turntable is connected."));
        return SpinStepResult::RotationFailed;
    }
    return m_turntable->startAngleRotation(target) ? SpinStepResult::Rotating
                                                   : SpinStepResult::RotationFailed;
}

QString ZLTurntableSpins::unreachablePositions(unsigned int countsPerRevolution) const
{
    const QList<float> &angles = d->shootingAngles;
    for (int i = 1; i < angles.size(); ++i) {
        const QString reason = unreachableReason(angles.first(), angles.at(i - 1), angles.at(i), true,
                                                 countsPerRevolution);
        if (!reason.isEmpty())
            return reason;
    }
    return QString();
}

QString ZLTurntableSpins::takeSettingsFileError()
{
    QString error;
    error.swap(d->settingsFileError);
    return error;
}

QString ZLTurntableSpins::settingsFilePath()
{
    return QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).filePath(QLatin1String(settingsFileName));
}

int ZLTurntableSpins::shootingMode() const
{
    return d->shootingMode;
}

QList<float> ZLTurntableSpins::shootingAngles() const
{
    return d->shootingAngles;
}

int ZLTurntableSpins::shootingAnglesCount() const
{
    return d->shootingAngles.size();
}

float ZLTurntableSpins::firstShootingAngle() const
{
    return d->shootingAngles.isEmpty() ? 0.0f : d->shootingAngles.first();
}

float ZLTurntableSpins::preCaptureDelay() const
{
    return d->preCaptureDelay;
}

float ZLTurntableSpins::postCaptureDelay() const
{
    return d->postCaptureDelay;
}

int ZLTurntableSpins::direction() const
{
    return d->direction;
}

float ZLTurntableSpins::videoDegrees() const
{
    return d->videoDegrees;
}

bool ZLTurntableSpins::isManualCapture() const
{
    return d->isManualCapture;
}

quint16 ZLTurntableSpins::stepIndex() const
{
    return d->stepIndex;
}

void ZLTurntableSpins::setStepIndex(quint16 index)
{
    d->stepIndex = index;
}

QStringList ZLTurntableSpins::angleTexts() const
{
    return d->companion ? d->companion->angleTexts : QStringList();
}
