#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Reading and writing the files the code under test keeps, as a test sees them.
namespace TestFiles {

// The whole file; empty when it cannot be read.
QByteArray read(const QString &path);
// The file's top-level JSON object; empty when it cannot be read or holds no object.
QJsonObject readJsonObject(const QString &path);
// Replaces the file with content; false when it could not be written whole.
bool write(const QString &path, const QByteArray &content);

} // namespace TestFiles
