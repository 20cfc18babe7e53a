#include "turntablesettingsfile.h"

#include "decimaltext.h"
#include "settingsfile.h"
#include "zlplugin.h"

#include <QDir>
#include <QJsonObject>
#include <QLocale>
#include <QCoreApplication>

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

QString tr(const char *text)
{
    return QCoreApplication::translate("TurntableSettingsFile", text);
}

QVariant checkedText(const QJsonValue &value)
{
    if (!value.isString() || value.toString().size() > maxTextLength)
        return QVariant();
    return value.toString();
}

// Each value of the expected type goes into map; a present key of another type is named in invalid.
void insertBool(QVariantMap *map, const QJsonObject &object, const char *key, const QString &prefix,
                QStringList *invalid)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isBool())
        map->insert(QLatin1String(key), value.toBool());
    else if (object.contains(QLatin1String(key)))
        *invalid << prefix + QLatin1String(key);
}

void insertText(QVariantMap *map, const QJsonObject &object, const char *key, const QString &prefix,
                QStringList *invalid)
{
    const QVariant text = checkedText(object.value(QLatin1String(key)));
    if (text.isValid())
        map->insert(QLatin1String(key), text);
    else if (object.contains(QLatin1String(key)))
        *invalid << prefix + QLatin1String(key);
}

// Keeps the values whose type and range the panel expects; the others are named in invalid.
QVariantMap checkedSettings(const QJsonObject &object, QStringList *invalid)
{
    QVariantMap settings;
    const QJsonValue speed = object.value(QLatin1String(rotationSpeedKey));
    if (speed.isDouble() && speed.toDouble() >= 0 && speed.toDouble() <= 9)
        settings.insert(QLatin1String(rotationSpeedKey), std::round(speed.toDouble()));
    else if (object.contains(QLatin1String(rotationSpeedKey)))
        *invalid << QLatin1String(rotationSpeedKey);
    insertBool(&settings, object, lockKey, QString(), invalid);
    insertText(&settings, object, rampKey, QString(), invalid);
    const QJsonValue custom = object.value(QLatin1String(customKey));
    if (custom.isObject()) {
        const QString prefix = QLatin1String(customKey) + QLatin1Char('.');
        QVariantMap block;
        insertText(&block, custom.toObject(), countsKey, prefix, invalid);
        insertBool(&block, custom.toObject(), clockwiseKey, prefix, invalid);
        insertBool(&block, custom.toObject(), enableKey, prefix, invalid);
        settings.insert(QLatin1String(customKey), block);
    } else if (object.contains(QLatin1String(customKey))) {
        *invalid << QLatin1String(customKey);
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

bool read(QVariantMap *settings, QString *problemForUser)
{
    const QString filePath = path();
    QJsonObject object;
    QString problem;
    const SettingsFile::ReadResult result = SettingsFile::readObject(filePath, maxFileSize, &object, &problem);
    if (result == SettingsFile::ReadResult::Missing)
        return false;
    if (result == SettingsFile::ReadResult::Loaded) {
        QStringList invalid;
        *settings = checkedSettings(object, &invalid);
        if (invalid.isEmpty())
            return true;
        problem = tr("invalid values for %1").arg(invalid.join(QLatin1String(", ")));
    }
    // Kept for the user instead of being overwritten by the next save.
    const QString kept = SettingsFile::keepAside(filePath);
    if (problemForUser) {
        *problemForUser = tr("The turntable settings file \"%1\" could not be read (%2). Default values are "
                             "used in its place; %3.")
                              .arg(QDir::toNativeSeparators(filePath), problem,
                                   kept.isEmpty() ? tr("it could not be moved aside")
                                                  : tr("it has been kept as \"%1\"").arg(QDir::toNativeSeparators(kept)));
    }
    return result == SettingsFile::ReadResult::Loaded;
}

bool write(const QVariantMap &settings, QString *errorForUser)
{
    QString error;
    if (SettingsFile::writeObject(path(), QJsonObject::fromVariantMap(settings), &error))
        return true;
    if (errorForUser)
        *errorForUser = tr("The turntable settings could not be saved to \"%1\": %2")
                            .arg(QDir::toNativeSeparators(path()), error);
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
