#pragma once

#include <QByteArray>
#include <QDateTime>

// A JPEG as a camera writes it: the picture with an EXIF block carrying DateTimeOriginal and,
// when subSeconds is set, SubSecTimeOriginal (written with libexif).
QByteArray jpegWithCaptureTime(const QByteArray &jpeg, const QDateTime &cameraTime, bool subSeconds = true);
