#include "settingsfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QJSValue>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

namespace SettingsFile {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SettingsFile", text);
}

} // namespace

ReadResult readObject(const QString &path, qint64 maxSize, QJsonObject *object, QString *problem)
{
    QFile file(path);
    if (!file.exists())
        return ReadResult::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return ReadResult::Unusable;
    }
    // Never more than one byte past the limit, whatever size the file claims.
    const QByteArray data = file.read(maxSize + 1);
    if (file.error() != QFileDevice::NoError) {
        *problem = file.errorString();
        return ReadResult::Unusable;
    }
    if (file.size() > maxSize || data.size() > maxSize) {
        *problem = tr("the file is larger than %1 bytes").arg(maxSize);
        return ReadResult::Unusable;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *problem = tr("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return ReadResult::Unusable;
    }
    if (!document.isObject()) {
        *problem = tr("the file holds no JSON object");
        return ReadResult::Unusable;
    }
    *object = document.object();
    return ReadResult::Loaded;
}

QString keepAside(const QString &path)
{
    const QString badPath = path + QLatin1String(".bad");
    QFile::remove(badPath);
    return QFile::rename(path, badPath) ? badPath : QString();
}

bool writeObject(const QString &path, const QJsonObject &object, QString *error)
{
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    file.cancelWriting();
    return false;
}

QVariantMap mapFromQml(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QJSValue>())
        return value.value<QJSValue>().toVariant().toMap();
    return value.toMap();
}

} // namespace SettingsFile
