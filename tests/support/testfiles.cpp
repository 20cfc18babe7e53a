#include "testfiles.h"

#include <QFile>
#include <QJsonDocument>

namespace TestFiles {

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject readJsonObject(const QString &path)
{
    return QJsonDocument::fromJson(read(path)).object();
}

bool write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace TestFiles
