#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Reads spin pictures for the viewer through ZLImageIO: scaled while decoding where the format
// allows (Qt's JPEG reader decodes at 1/2, 1/4 or 1/8 of the size when asked for less), turned
// upright as their EXIF orientation says. Safe on any thread: it keeps no state.
class SpinPictureReader
{
public:
    // Pictures beyond these are unreadable: the header alone is read. Formats other than JPEG
    // decode whole before scaling, so their bound is lower.
    static constexpr qint64 maxPicturePixels = 1000LL * 1000 * 1000;
    static constexpr qint64 maxWholeDecodePixels = 250LL * 1000 * 1000;

    // The picture at path upright and fitted into bound (never enlarged). Null when it cannot
    // be read; *tooLarge tells a picture refused for its size from one that could not be read.
    // *fullSize is the size as stored.
    static QImage readFitted(const QString &path, const QSize &bound, QSize *fullSize = nullptr,
                             bool *tooLarge = nullptr);
    // The picture for zoom: whole when of at most maxPixels, else halved until it is.
    static QImage readForZoom(const QString &path, qint64 maxPixels);
    // The largest size of full halved k times (k >= 0) of at most maxPixels pixels: the sizes
    // the JPEG reader decodes without a full-size intermediate.
    static QSize halvedToFit(const QSize &full, qint64 maxPixels);
};
