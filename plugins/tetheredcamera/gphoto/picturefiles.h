#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>

// Where a captured picture goes on the computer. A camera's file name is untrusted input: only
// the extension of its last path component is used, reduced to ASCII letters and digits in lower
// case and at most 8 of them (".jpg", ".cr3"); a name without one gives ".bin". So the picture
// lands at stem + extension, whatever the camera calls it ("../../x.jpg" gives stem + ".jpg").
QString pictureExtension(const std::string &cameraName);

// stem + the extension of cameraName; when a path in `taken` already has that extension (two
// JPEGs of one capture) the stem gets "-2", "-3" ... first.
QString picturePath(const QString &stem, const std::string &cameraName, const QStringList &taken);

// Writes bytes to a temporary file beside path and renames it over path, making the folder if
// needed: a reader never sees half a picture under its final name. False with *error set.
bool writePictureFile(const QString &path, const QByteArray &bytes, QString *error);
