#include "programsettings.h"

#include "settingsfile.h"
#include "zlplugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QStandardPaths>

#include <climits>
#include <cmath>

namespace {

const char lastUsedTurntableKey[] = "lastUsedTurntableIndex-v3";
const char cameraKey[] = "camera";
const char picturesFolderKey[] = "picturesFolder";
// The file holds one small object; anything much larger is not ours.
constexpr qint64 maximumFileSize = 64 * 1024;
// Longer than any path a file system takes: a text past it was not written by this program.
constexpr int maximumTextLength = 4096;

QString tr(const char *text)
{
    return QCoreApplication::translate("ProgramSettings", text);
}

// Empty when the value is usable; otherwise the phrase saying why not.
QString readText(const QJsonObject &settings, const char *key, QString *value)
{
    if (!settings.contains(QLatin1String(key)))
        return QString();
    const QJsonValue stored = settings.value(QLatin1String(key));
    if (!stored.isString() || stored.toString().size() > maximumTextLength
        || stored.toString().contains(QChar(0)))
        return tr("\"%1\" is not a text of at most %2 characters").arg(QLatin1String(key)).arg(maximumTextLength);
    *value = stored.toString();
    return QString();
}

} // namespace

QString ProgramSettings::filePath()
{
    return QDir(ZLAbstractPlugin::applicationLocalDataDirectory())
        .filePath(QStringLiteral("Spinwright.json"));
}

QString ProgramSettings::defaultPicturesFolder()
{
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath();
    return QDir(pictures).filePath(QStringLiteral("Spinwright"));
}

QString ProgramSettings::effectivePicturesFolder() const
{
    return picturesFolder.isEmpty() ? defaultPicturesFolder() : picturesFolder;
}

bool ProgramSettings::load(QString *message)
{
    *this = ProgramSettings();
    const QString path = filePath();
    QJsonObject settings;
    QString problem;
    const SettingsFile::ReadResult read = SettingsFile::readObject(path, maximumFileSize, &settings, &problem);
    if (read == SettingsFile::ReadResult::Missing)
        return true;

    ProgramSettings loaded;
    if (read == SettingsFile::ReadResult::Loaded && settings.contains(QLatin1String(lastUsedTurntableKey))) {
        const QJsonValue value = settings.value(QLatin1String(lastUsedTurntableKey));
        const double index = value.toDouble(-1);
        if (!value.isDouble() || index != std::floor(index) || index < 0 || index > INT_MAX)
            problem = tr("the last used turntable is not a device index");
        else
            loaded.lastUsedTurntable = int(index);
    }
    if (problem.isEmpty() && read == SettingsFile::ReadResult::Loaded)
        problem = readText(settings, cameraKey, &loaded.camera);
    if (problem.isEmpty() && read == SettingsFile::ReadResult::Loaded) {
        problem = readText(settings, picturesFolderKey, &loaded.picturesFolder);
        if (problem.isEmpty() && !loaded.picturesFolder.isEmpty() && QDir::isRelativePath(loaded.picturesFolder))
            problem = tr("the pictures folder is not an absolute path");
    }

    if (problem.isEmpty()) {
        *this = loaded;
        return true;
    }
    const QString badPath = SettingsFile::keepAside(path);
    QString text = tr("The settings file \"%1\" could not be used (%2); no turntable is selected.")
                       .arg(QDir::toNativeSeparators(path), problem);
    if (!badPath.isEmpty())
        text += QLatin1Char(' ') + tr("The file was kept as \"%1\".").arg(QDir::toNativeSeparators(badPath));
    if (message)
        *message = text;
    return false;
}

bool ProgramSettings::save(QString *error) const
{
    QJsonObject settings;
    settings.insert(QLatin1String(lastUsedTurntableKey), qint64(lastUsedTurntable < 0 ? 0 : lastUsedTurntable));
    if (!camera.isEmpty())
        settings.insert(QLatin1String(cameraKey), camera);
    if (!picturesFolder.isEmpty())
        settings.insert(QLatin1String(picturesFolderKey), picturesFolder);
    QString problem;
    if (SettingsFile::writeObject(filePath(), settings, &problem))
        return true;
    if (error)
        *error = tr("The program settings could not be saved to \"%1\": %2")
                     .arg(QDir::toNativeSeparators(filePath()), problem);
    return false;
}
