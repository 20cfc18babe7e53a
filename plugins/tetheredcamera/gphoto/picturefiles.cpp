#include "picturefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

QString pictureExtension(const std::string &cameraName)
{
    const std::size_t slash = cameraName.find_last_of("/\\");
    const std::string last = slash == std::string::npos ? cameraName : cameraName.substr(slash + 1);
    const std::size_t dot = last.find_last_of('.');
    QString extension;
    if (dot != std::string::npos) {
        for (std::size_t i = dot + 1; i < last.size() && extension.size() < 8; ++i) {
            const char c = last[i];
            if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
                extension += QLatin1Char(c);
            else if (c >= 'A' && c <= 'Z')
                extension += QLatin1Char(char(c - 'A' + 'a'));
        }
    }
    return QLatin1Char('.') + (extension.isEmpty() ? QStringLiteral("bin") : extension);
}

QString picturePath(const QString &stem, const std::string &cameraName, const QStringList &taken)
{
    const QString extension = pictureExtension(cameraName);
    QString path = stem + extension;
    for (int n = 2; taken.contains(path); ++n)
        path = stem + QLatin1Char('-') + QString::number(n) + extension;
    return path;
}

bool writePictureFile(const QString &path, const QByteArray &bytes, QString *error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QCoreApplication::translate("ZLTetheredCamera", "Cannot create the folder %1.")
                     .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QCoreApplication::translate("ZLTetheredCamera", "Cannot save the picture %1: %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}
