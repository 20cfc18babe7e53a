#include "turntablesettingsfile.h"

#include "decimaltext.h"
#include "settingsfile.h"
#include "zlplugin.h"

#include <QDir>
#include <QJsonObject>
#include <QLocale>
#include <QtDebug>

#include <algorithm>
#include <cmath>

namespace TurntableSettingsFile {

namespace {

const char fileName[] = "MarvolixTurntable-v3.json";
const char rotationSpeedKey[] = "rotationSpeed";
const char lockKey[] = "isLockTableWhenIdle";
const char rampKey[] = "rampUpDegrees";
const char customKey[] = "customTurntableAdvancedSettings";
const char countsKey[] = "stepsPerRevolutionText";
const char clockwiseKey[] = "isClockwiseActiveHigh";
const char enableKey[] = "isMotorEnableActiveHigh";
// A settings file is a few hundred bytes; anything far larger is not ours.
constexpr qint64 maxFileSize = 64 * 1024;
constexpr int maxTextLength = 32;

QVariant checkedText(const QJsonValue &value)
{
    if (!value.isString() || value.toString().size() > maxTextLength)
        return QVariant();
    return value.toString();
}

void insertBool(QVariantMap *map, const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isBool())
        map->insert(QLatin1String(key), value.toBool());
}

void insertText(QVariantMap *map, const QJsonObject &object, const char *key)
{
    const QVariant text = checkedText(object.value(QLatin1String(key)));
    if (text.isValid())
        map->insert(QLatin1String(key), text);
}

// Keeps the values whose type and range the panel expects; anything else is dropped.
QVariantMap checkedSettings(const QJsonObject &object)
{
    QVariantMap settings;
    const QJsonValue speed = object.value(QLatin1String(rotationSpeedKey));
    if (speed.isDouble() && speed.toDouble() >= 0 && speed.toDouble() <= 9)
        settings.insert(QLatin1String(rotationSpeedKey), std::round(speed.toDouble()));
    insertBool(&settings, object, lockKey);
    insertText(&settings, object, rampKey);
    const QJsonValue custom = object.value(QLatin1String(customKey));
    if (custom.isObject()) {
        QVariantMap block;
        insertText(&block, custom.toObject(), countsKey);
        insertBool(&block, custom.toObject(), clockwiseKey);
        insertBool(&block, custom.toObject(), enableKey);
        settings.insert(QLatin1String(customKey), block);
    }
    return settings;
}

// The panel writes the ramp in its own locale ("2,50" under a decimal comma), and a file may come
// from another locale than today's: either separator, then the panel's own notation.
double rampDegrees(const QString &text)
{
    bool ok = false;
    const double value = DecimalText::parse(text, &ok, QLocale());
    if (!ok || value < 0.0)
        return 0.0;
    return std::min(value, 360.0);
}

} // namespace

QString path()
{
    return QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).filePath(QLatin1String(fileName));
}

bool read(QVariantMap *settings)
{
    const QString filePath = path();
    QJsonObject object;
    QString problem;
    switch (SettingsFile::readObject(filePath, maxFileSize, &object, &problem)) {
    case SettingsFile::ReadResult::Missing:
        return false;
    case SettingsFile::ReadResult::Loaded:
        *settings = checkedSettings(object);
        return true;
    case SettingsFile::ReadResult::Unusable:
        break;
    }
    const QString kept = SettingsFile::keepAside(filePath);
    qWarning().noquote() << QStringLiteral("Turntable settings \"%1\" cannot be read (%2); defaults are used%3.")
                                .arg(QDir::toNativeSeparators(filePath), problem,
                                     kept.isEmpty() ? QString()
                                                    : QStringLiteral(", the file is kept as \"%1\"")
                                                          .arg(QDir::toNativeSeparators(kept)));
    return false;
}

bool write(const QVariantMap &settings)
{
    if (SettingsFile::writeObject(path(), QJsonObject::fromVariantMap(settings)))
        return true;
    qWarning().noquote() << QStringLiteral("Turntable settings cannot be written to \"%1\".")
                                .arg(QDir::toNativeSeparators(path()));
    return false;
}

TurntableSettingsUi::SpinSettings spinSettings(const QVariantMap &settings, bool customRow)
{
    TurntableSettingsUi::SpinSettings spin;
    if (settings.contains(QLatin1String(rotationSpeedKey)))
        spin.rotationSpeed = settings.value(QLatin1String(rotationSpeedKey)).toInt();
    if (settings.contains(QLatin1String(rampKey)))
        spin.rampUpDegrees = rampDegrees(settings.value(QLatin1String(rampKey)).toString());
    if (settings.contains(QLatin1String(lockKey)))
        spin.lockMotorWhenIdle = settings.value(QLatin1String(lockKey)).toBool();
    if (customRow) {
        const QVariantMap custom = customBlock(settings);
        bool ok = false;
        const int counts = custom.value(QLatin1String(countsKey)).toString().toInt(&ok, 10);
        spin.customCountsPerRevolution = ok && counts > 0 ? uint32_t(counts) : 0;
        spin.customMotorEnableActiveHigh = custom.value(QLatin1String(enableKey)).toBool();
        spin.customClockwiseActiveHigh = custom.value(QLatin1String(clockwiseKey)).toBool();
    }
    return spin;
}

QVariantMap deviceMap(const TurntableSettingsUi::DeviceSettings &device)
{
    return {{QLatin1String(countsKey), QString::number(device.countsPerRevolution)},
            {QLatin1String(clockwiseKey), device.isClockwiseActiveHigh},
            {QLatin1String(enableKey), device.isMotorEnableActiveHigh}};
}

QVariantMap customBlock(const QVariantMap &settings)
{
    return SettingsFile::mapFromQml(settings.value(QLatin1String(customKey)));
}

void mergeCustomBlock(QVariantMap *settings, QVariantMap *lastCustomBlock)
{
    if (settings->contains(QLatin1String(customKey)))
        *lastCustomBlock = customBlock(*settings);
    else if (!lastCustomBlock->isEmpty())
        settings->insert(QLatin1String(customKey), *lastCustomBlock);
}

} // namespace TurntableSettingsFile
