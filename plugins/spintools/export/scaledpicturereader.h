#pragma once

#include <QCoreApplication>
#include <QImage>

// Reads a picture scaled to fit a bound, upright, without decoding it at full size where the
// format allows (JPEG scales while decoding): a 100-megapixel frame costs a thumbnail's memory.
class ScaledPictureReader
{
    Q_DECLARE_TR_FUNCTIONS(ScaledPictureReader)

public:
    // Refused beyond this, and for formats that cannot scale while decoding beyond fullDecodeLimit.
    static constexpr qint64 pixelLimit = 1000LL * 1000 * 1000;
    static constexpr qint64 fullDecodeLimit = 250LL * 1000 * 1000;

    // Upright size from the header, invalid when the file is no picture.
    static QSize uprightSize(const QString &path);
    // Fits the picture into bound (never enlarges); a null image with *error set on failure.
    static QImage read(const QString &path, const QSize &bound, QString *error);
    // Exactly size, for animations whose frames must all match: a picture of another shape
    // (a retake rotated by the camera) is fitted and centred on black.
    static QImage readExactly(const QString &path, const QSize &size, QString *error);
    // The size a frame of the given width has, keeping the source's shape.
    static QSize sizeForWidth(const QSize &source, int width);
};
