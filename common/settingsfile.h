#pragma once

#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// The settings files of the program and its plug-in: one JSON object each, read defensively and
// written atomically. The keys of a file and the checks of their values stay with its owner.
namespace SettingsFile {

enum class ReadResult { Missing, Loaded, Unusable };

// Reads the object of the file at path. Missing: there is no such file. Unusable: it cannot be
// read, is larger than maxSize bytes or holds no JSON object; *problem then says why, as a
// phrase for the owner's message ("the file holds no JSON object").
ReadResult readObject(const QString &path, qint64 maxSize, QJsonObject *object, QString *problem);

// Moves an unusable file aside as "<path>.bad", replacing an older one, so that the next save
// cannot overwrite what the user may want to look at. Returns the new path, or an empty text
// when the file could not be moved.
QString keepAside(const QString &path);

// Writes object as indented JSON through a QSaveFile: an interrupted save leaves the old file
// whole. False, with *error set when given, when it cannot be written.
bool writeObject(const QString &path, const QJsonObject &object, QString *error = nullptr);

// A settings map as QML returns it: a JS object arrives as a QJSValue inside the variant.
QVariantMap mapFromQml(const QVariant &value);

} // namespace SettingsFile
