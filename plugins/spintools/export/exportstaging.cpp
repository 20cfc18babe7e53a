#include "exportstaging.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QUuid>

ExportStaging::~ExportStaging()
{
    if (!stagingPath.isEmpty())
        QDir(stagingPath).removeRecursively();
}

bool ExportStaging::begin(const QString &target, QString *error)
{
    const QString shown = QDir::toNativeSeparators(target);
    const QFileInfo info(target);
    if (target.isEmpty() || !info.isDir()) {
        *error = tr("The export folder \"%1\" does not exist.").arg(shown);
        return false;
    }
    targetPath = info.absoluteFilePath();
    const QString name = QStringLiteral(".spinwright-export-")
            + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    if (!QDir(targetPath).mkdir(name)) {
        *error = tr("Nothing can be written into \"%1\": the folder is read-only or you may not "
                    "write there.").arg(shown);
        return false;
    }
    stagingPath = QDir(targetPath).filePath(name);
    return true;
}

QString ExportStaging::filePath(const QString &name) const
{
    return QDir(stagingPath).filePath(name);
}

QString ExportStaging::freeName(const QString &name) const
{
    const QDir target(targetPath);
    if (!QFileInfo::exists(target.filePath(name)))
        return target.filePath(name);
    const QFileInfo parts(name);
    const QString stem = parts.completeBaseName();
    const QString suffix = parts.suffix().isEmpty() ? QString() : QLatin1Char('.') + parts.suffix();
    for (int n = 2; n < 10000; ++n) {
        const QString candidate = target.filePath(QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(suffix));
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
    return QString();
}

QString ExportStaging::commitFolder(const QString &name, QString *error)
{
    const QString final = freeName(name);
    // rename() within one folder is atomic, and refuses to replace a folder that appeared since.
    if (final.isEmpty() || !QDir().rename(stagingPath, final)) {
        *error = tr("The export could not be given its name \"%1\" in \"%2\".")
                         .arg(name, QDir::toNativeSeparators(targetPath));
        return QString();
    }
    stagingPath.clear();
    return final;
}

QString ExportStaging::commitFile(const QString &fileName, const QString &name, QString *error)
{
    const QString final = freeName(name);
    // QFile::rename never replaces an existing file.
    if (final.isEmpty() || !QFile::rename(filePath(fileName), final)) {
        *error = tr("The export could not be given its name \"%1\" in \"%2\".")
                         .arg(name, QDir::toNativeSeparators(targetPath));
        return QString();
    }
    return final;
}

QString ExportStaging::fullDiskMessage() const
{
    // A few megabytes left is full for an export: the write that failed needed more.
    const QStorageInfo storage(targetPath);
    if (!storage.isValid() || storage.bytesAvailable() >= 16 * 1024 * 1024)
        return QString();
    return tr("The disk holding \"%1\" is full; nothing was exported.").arg(QDir::toNativeSeparators(targetPath));
}
