#pragma once

#include <QCoreApplication>
#include <QString>

// When the camera took a picture, by its own clock: EXIF DateTimeOriginal with
// SubSecTimeOriginal, read with libexif.
class CaptureTimeReader
{
    Q_DECLARE_TR_FUNCTIONS(CaptureTimeReader)

public:
    // Milliseconds since 1970 of the camera's wall clock read as if it were UTC (cameras store no
    // zone; the matcher's offset absorbs it). False when the file holds no usable time.
    // *subSeconds tells whether the time is finer than the second.
    static bool read(const QString &path, qint64 *msecs, bool *subSeconds);
};
